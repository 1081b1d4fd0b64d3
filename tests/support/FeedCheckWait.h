#pragma once

#include <QCoreApplication>
#include <QTest>

#include "model/RSSFeed.h"

namespace TestSupport {

// Waits for the feed's download to end, then delivers the parse it deferred; false when the
// download still runs after ten seconds.
inline bool finishCheck(RSSFeed *feed)
{
    if (!QTest::qWaitFor([feed] { return !feed->isDownloading(); }, 10000)) {
        return false;
    }
    QCoreApplication::sendPostedEvents(feed, QEvent::MetaCall);
    return true;
}

} // namespace TestSupport
