#include "app/FeedCommands.h"

#include <QTextStream>

#include "app/StoreAccess.h"
#include "app/TabSeparated.h"
#include "model/FeedSubscriber.h"
#include "model/RSSFeed.h"
#include "platform/ProgramService.h"
#include "store/ObjectContext.h"

namespace {

// The feeds with this address, or else the one feed with this name; the failure when there is
// none, or when several share the name. verb says what the command does, for its message.
std::optional<CommandResult> findFeeds(const QList<RSSFeed *> &feeds, const QString &urlOrName, const QString &verb,
                                       QList<RSSFeed *> &found)
{
    QList<RSSFeed *> byUrl;
    QList<RSSFeed *> byName;
    // An address is found in any of the spellings --add takes for it.
    const QString address = FeedSubscriber::comparableAddress(urlOrName);
    for (RSSFeed *feed : feeds) {
        if (feed->url() && FeedSubscriber::comparableAddress(*feed->url()) == address) {
            byUrl.append(feed);
        } else if (feed->name() == urlOrName) {
            byName.append(feed);
        }
    }
    // Feeds with one address are one subscription, however often it was added; a name
    // shared by several feeds says too little to change or delete them on.
    if (byUrl.isEmpty() && byName.size() > 1) {
        return CommandResult::failure(
            QStringLiteral("%1 feeds are named '%2'; %3 one by its URL").arg(byName.size()).arg(urlOrName, verb));
    }
    found = byUrl.isEmpty() ? byName : byUrl;
    if (found.isEmpty()) {
        return CommandResult::failure(QStringLiteral("no feed has the URL or name '%1'").arg(urlOrName));
    }
    return std::nullopt;
}

} // namespace

namespace FeedCommands {

CommandResult add(Rss_Brevlin_AppDelegate *delegate, const StoreEdit &options)
{
    Subscription subscription;
    subscription.url = options.argument;
    subscription.name = options.name;
    subscription.credentials = options.credentials;
    subscription.showInRecentList = options.recent.value_or(false);
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

CommandResult edit(Rss_Brevlin_AppDelegate *delegate, const StoreEdit &edit)
{
    StoreAccess store(delegate);
    const std::optional<QList<RSSFeed *>> feeds = store.feeds();
    if (!feeds) {
        return store.result();
    }
    QList<RSSFeed *> found;
    if (const std::optional<CommandResult> failure = findFeeds(*feeds, edit.argument, QStringLiteral("edit"), found)) {
        return *failure;
    }
    for (RSSFeed *feed : found) {
        if (edit.name) {
            // An empty name clears it, as in the subscription window: the next document names the feed.
            feed->setName(edit.name->isEmpty() ? std::nullopt : edit.name);
        }
        Credentials given = edit.credentials;
        if (given.login && given.login->isEmpty()) {
            // Without a login no password is sent: it goes too, from the keyring as well, which
            // finds it under the login it still has.
            feed->setPassword(std::nullopt);
            feed->setLogin(std::nullopt);
            given.login.reset();
        }
        feed->setCredentials(given);
        if (edit.notify) {
            feed->setNotifies(*edit.notify);
        }
        if (edit.interval) {
            feed->setInterval(*edit.interval == 0 ? std::nullopt : edit.interval);
        }
        if (edit.recent) {
            feed->setShowInRecentList(*edit.recent);
        }
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
    QList<RSSFeed *> doomed;
    if (const std::optional<CommandResult> failure = findFeeds(*feeds, urlOrName, QStringLiteral("remove"), doomed)) {
        return *failure;
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
