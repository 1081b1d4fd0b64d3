#include "controller/CheckIntervalText.h"

#include <QCoreApplication>

#include "controller/RSSBrevlinController.h"
#include "model/RSSFeed.h"

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CheckIntervalText", text);
}

} // namespace

namespace CheckIntervalText {

QString inForce(const RSSFeed *feed)
{
    const CheckInterval interval = feed->checkEvery(RSSBrevlinController::globalCheckInterval());
    switch (interval.source) {
    case CheckInterval::Source::Own:
        return duration(interval.length);
    case CheckInterval::Source::Hints:
        return tr("auto (%1, from the feed)").arg(duration(interval.length));
    case CheckInterval::Source::Global:
        break;
    }
    return tr("auto (%1)").arg(duration(interval.length));
}

QString duration(std::chrono::milliseconds length)
{
    const qint64 ms = length.count();
    if (ms % 1000 != 0) {
        return tr("%1 s").arg(double(ms) / 1000.0);
    }
    const qint64 seconds = ms / 1000;
    if (seconds >= 86400 && seconds % 86400 == 0) {
        return tr("%1 d").arg(seconds / 86400);
    }
    if (seconds >= 3600 && seconds % 3600 == 0) {
        return tr("%1 h").arg(seconds / 3600);
    }
    if (seconds >= 60 && seconds % 60 == 0) {
        return tr("%1 min").arg(seconds / 60);
    }
    return tr("%1 s").arg(seconds);
}

} // namespace CheckIntervalText
