#include "notify/SystemIdleTime.h"

#include <QByteArray>
#include <QVariant>

#include <cstring>

#include "notify/NotifyLog.h"
#include "platform/IdleTimeProvider.h"
#include "platform/IdleTimeRegistry.h"

namespace {

// On standard error, through the category: standard output carries only a command's output.
void say(const char *line)
{
    qCInfo(lcNotify, "%s", line);
}

quint64 cannotFindIdleTime()
{
    say("Can't find idle time");
    return 0;
}

} // namespace

// The troubles that would leave the caller without any answer (no source at all, none usable
// now, a value of unknown type) are reported and read as 0: a notification then is simply not
// sticky, and the program goes on.
quint64 systemIdleSeconds()
{
    IdleTimeRegistry *registry = IdleTimeRegistry::shared();
    if (registry->isEmpty()) {
        say("Error accessing IOHIDSystem");
        return 0;
    }
    IdleTimeProvider *provider = registry->firstAvailable();
    if (!provider) {
        say("Iterator's empty!");
        return 0;
    }
    const std::optional<QVariant> value = provider->idleTime();
    if (!value) {
        say("Couldn't grab properties of system");
        return cannotFindIdleTime();
    }
    if (!value->isValid()) {
        return cannotFindIdleTime();
    }
    quint64 nanoseconds = 0;
    switch (value->typeId()) {
    case QMetaType::QByteArray: {
        const QByteArray data = value->toByteArray();
        // Further bytes are ignored; fewer than eight hold no idle time.
        if (data.size() < qsizetype(sizeof nanoseconds)) {
            return cannotFindIdleTime();
        }
        std::memcpy(&nanoseconds, data.constData(), sizeof nanoseconds);
        break;
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        // Read as a signed 64-bit number and then taken as unsigned, as the sources deliver it.
        nanoseconds = quint64(value->toLongLong());
        break;
    default:
        qCInfo(lcNotify, "%d: unsupported type", value->typeId());
        return 0;
    }
    // 2^30 ns is the unit the sticky rule compares with minutes; it is close enough to a second.
    return nanoseconds >> 30;
}
