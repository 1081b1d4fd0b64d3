#include "app/CheckOnceCommand.h"

#include <QEventLoop>
#include <QTextStream>

#include <csignal>

#include "app/FeedCheckRound.h"
#include "app/Rss_Brevlin_AppDelegate.h"
#include "app/TabSeparated.h"
#include "model/RSSFeed.h"
#include "platform/UnixSignalWatcher.h"
#include "store/ObjectContext.h"

namespace CheckOnceCommand {

CommandResult run(Rss_Brevlin_AppDelegate *delegate, QTextStream &out)
{
    ObjectContext *context = delegate->managedObjectContext();
    if (!delegate->hasStore()) {
        return CommandResult::failure();
    }
    // Loaded as the program loads them at start-up: each feed awakes (and starts a check),
    // then the round checks them all by name, as the start-up check does.
    const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(context);
    if (!feeds) {
        return CommandResult::failure(QStringLiteral("cannot read the store: %1").arg(context->errorString()));
    }
    FeedCheckRound round(*feeds);
    UnixSignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    QEventLoop loop;
    int interruption = 0;
    QObject::connect(&round, &FeedCheckRound::finished, &loop, &QEventLoop::quit);
    QObject::connect(&watcher, &UnixSignalWatcher::received, &loop, [&](int signalNumber) {
        interruption = signalNumber;
        loop.quit();
    });
    round.start();
    if (!round.isFinished()) {
        loop.exec();
    }
    if (!context->save()) {
        return CommandResult::failure(QStringLiteral("cannot save the store: %1").arg(context->errorString()));
    }
    for (RSSFeed *feed : *feeds) {
        out << TabSeparated::line({feed->name().value_or(QString()), QString::number(round.newEntries(feed)),
                                   feed->errorMessage().value_or(QString())});
    }
    if (interruption) {
        return CommandResult::failure(
            QStringLiteral("stopped by signal %1 before every feed was checked; what arrived is saved")
                .arg(interruption));
    }
    return CommandResult::success();
}

} // namespace CheckOnceCommand
