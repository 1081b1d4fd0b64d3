#include "app/FeedCommands.h"

#include <QTextStream>

#include "app/StoreAccess.h"
#include "app/TabSeparated.h"
#include "model/FeedSubscriber.h"
#include "model/RSSFeed.h"
#include "platform/ProgramService.h"
#include "store/ObjectContext.h"

namespace FeedCommands {

CommandResult add(Rss_Brevlin_AppDelegate *delegate, const StoreEdit &options)
{
    Subscription subscription;
    subscription.url = options.argument;
    subscription.name = options.name;
    subscription.login = options.login;
    subscription.password = options.password;
    subscription.showInRecentList = options.recent;
    // Messages name the address without a password written into it.
    subscription = FeedSubscriber::withCredentialsFromAddress(subscription);
    StoreAccess store(delegate);
    const std::optional<QList<RSSFeed *>> feeds = store.feeds();
    if (!feeds) {
        return store.result();
    }
    switch (FeedSubscriber(store.context(), *feeds).subscribe(subscription)) {
    case FeedSubscriber::Outcome::NotAnAddress:
        return CommandResult::usage(
            QStringLiteral("'%1' is not a feed address (an http, https or file URL)").arg(subscription.url));
    case FeedSubscriber::Outcome::AlreadySubscribed:
        return CommandResult::failure(QStringLiteral("already subscribed to %1").arg(subscription.url));
    case FeedSubscriber::Outcome::Added:
        break;
    }
    return store.save() ? CommandResult::success() : store.result();
}

CommandResult remove(Rss_Brevlin_AppDelegate *delegate, const QString &urlOrName)
{
    StoreAccess store(delegate);
    const std::optional<QList<RSSFeed *>> feeds = store.feeds();
    if (!feeds) {
        return store.result();
    }
    QList<RSSFeed *> byUrl;
    QList<RSSFeed *> byName;
    // An address is found in any of the spellings --add takes for it.
    const QString address = FeedSubscriber::comparableAddress(urlOrName);
    for (RSSFeed *feed : *feeds) {
        if (feed->url() && FeedSubscriber::comparableAddress(*feed->url()) == address) {
            byUrl.append(feed);
        } else if (feed->name() == urlOrName) {
            byName.append(feed);
        }
    }
    // Feeds with one address are one subscription, however often it was added; a name
    // shared by several feeds says too little to delete their histories on.
    if (byUrl.isEmpty() && byName.size() > 1) {
        return CommandResult::failure(
            QStringLiteral("%1 feeds are named '%2'; remove one by its URL").arg(byName.size()).arg(urlOrName));
    }
    const QList<RSSFeed *> doomed = byUrl.isEmpty() ? byName : byUrl;
    if (doomed.isEmpty()) {
        return CommandResult::failure(QStringLiteral("no feed has the URL or name '%1'").arg(urlOrName));
    }
    for (RSSFeed *feed : doomed) {
        store.context()->deleteObject(feed);
    }
    return store.save() ? CommandResult::success() : store.result();
}

CommandResult list(Rss_Brevlin_AppDelegate *delegate, QTextStream &out)
{
    StoreAccess store(delegate, StoreAccess::Reach::FeedsOnly);
    const std::optional<QList<RSSFeed *>> feeds = store.feeds();
    if (!feeds) {
        return store.result();
    }
    for (const RSSFeed *feed : *feeds) {
        const std::optional<qsizetype> entries = feed->entryCount();
        if (!entries) {
            return store.readFailure();
        }
        out << TabSeparated::line({feed->name().value_or(QString()), feed->url().value_or(QString()),
                                   feed->didConnectString().value_or(QString()), QString::number(*entries),
                                   feed->errorMessage().value_or(QString())});
    }
    return CommandResult::success();
}

} // namespace FeedCommands
