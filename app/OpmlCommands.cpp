#include "app/OpmlCommands.h"

#include <QSaveFile>
#include <QTextStream>

#include "app/StoreAccess.h"
#include "model/FeedSubscriber.h"
#include "model/OpmlReader.h"
#include "model/OpmlWriter.h"
#include "platform/StandardErrorAlerts.h"

namespace OpmlCommands {

CommandResult import(Rss_Brevlin_AppDelegate *delegate, const QString &path, QTextStream &out)
{
    QString error;
    const std::optional<QList<Subscription>> subscriptions = OpmlReader::readFile(path, &error);
    if (!subscriptions) {
        return CommandResult::failure(error);
    }
    StoreAccess store(delegate);
    const std::optional<QList<RSSFeed *>> feeds = store.feeds();
    if (!feeds) {
        return store.result();
    }
    FeedSubscriber subscriber(store.context(), *feeds);
    int added = 0;
    int skipped = 0;
    for (const Subscription &subscription : *subscriptions) {
        switch (subscriber.subscribe(subscription)) {
        case FeedSubscriber::Outcome::Added:
            ++added;
            break;
        case FeedSubscriber::Outcome::NotAnAddress:
            StandardErrorAlerts::printLine(QStringLiteral("skipped '%1': not a feed address").arg(subscription.url));
            Q_FALLTHROUGH();
        case FeedSubscriber::Outcome::AlreadySubscribed:
            ++skipped;
            break;
        }
    }
    if (!store.save()) {
        return store.result();
    }
    out << QStringLiteral("added %1, skipped %2\n").arg(added).arg(skipped);
    return CommandResult::success();
}

CommandResult exportTo(Rss_Brevlin_AppDelegate *delegate, const QString &path, QTextStream &out)
{
    StoreAccess store(delegate);
    const std::optional<QList<RSSFeed *>> feeds = store.feeds();
    if (!feeds) {
        return store.result();
    }
    const QByteArray opml = OpmlWriter::write(*feeds, QDateTime::currentDateTimeUtc());
    if (path.isEmpty() || path == QLatin1String("-")) {
        out << QString::fromUtf8(opml);
        return CommandResult::success();
    }
    // A half-written file would be mistaken for the whole list; it appears complete or not at all.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(opml) != opml.size() || !file.commit()) {
        return CommandResult::failure(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    }
    return CommandResult::success();
}

} // namespace OpmlCommands
