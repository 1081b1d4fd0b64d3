#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// One source of the time since the user last touched keyboard or mouse.
class IdleTimeProvider
{
public:
    virtual ~IdleTimeProvider() = default;

    virtual QString name() const = 0;
    // Whether the source can be asked at all in this session.
    virtual bool isAvailable() = 0;
    // Nanoseconds since the last input, as an 8-byte value in the machine's byte order
    // (QByteArray) or as a 64-bit number; an invalid QVariant when the source has no idle
    // time to give, nothing when it could not be asked.
    virtual std::optional<QVariant> idleTime() = 0;
};
