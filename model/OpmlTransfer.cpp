#include "model/OpmlTransfer.h"

#include <QDateTime>
#include <QSaveFile>

#include "model/FeedSubscriber.h"
#include "model/OpmlWriter.h"

OpmlTransfer::ImportResult OpmlTransfer::subscribeAll(ObjectContext *context, const QList<RSSFeed *> &existingFeeds,
                                                      const QList<Subscription> &subscriptions)
{
    FeedSubscriber subscriber(context, existingFeeds, FeedSubscriber::Addresses::WebOnly);
    ImportResult result;
    for (const Subscription &subscription : subscriptions) {
        switch (subscriber.subscribe(subscription)) {
        case FeedSubscriber::Outcome::Added:
            ++result.added;
            break;
        case FeedSubscriber::Outcome::NotAnAddress:
            result.unusableAddresses.append(FeedSubscriber::withCredentialsFromAddress(subscription).url);
            Q_FALLTHROUGH();
        case FeedSubscriber::Outcome::AlreadySubscribed:
            ++result.skipped;
            break;
        }
    }
    return result;
}

bool OpmlTransfer::exportFile(const QList<RSSFeed *> &feeds, const QString &path, QString *errorString)
{
    const QByteArray opml = OpmlWriter::write(feeds, QDateTime::currentDateTimeUtc());
    // A half-written file would be mistaken for the whole list.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(opml) != opml.size() || !file.commit()) {
        *errorString = file.errorString();
        return false;
    }
    return true;
}
