#pragma once

#include <memory>

#include "platform/IdleTimeProvider.h"

// The idle time the X server keeps for its screen saver (the MIT-SCREEN-SAVER extension),
// through a display connection of its own.
class X11IdleTimeProvider : public IdleTimeProvider
{
public:
    X11IdleTimeProvider();
    ~X11IdleTimeProvider() override;

    QString name() const override;
    bool isAvailable() override;
    std::optional<QVariant> idleTime() override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
