#include "model/OpmlTransfer.h"

#include <QDateTime>
#include <QSaveFile>

#include "model/OpmlWriter.h"

OpmlTransfer::Importer::Importer(ObjectContext *context, const QList<RSSFeed *> &existingFeeds,
                                 QList<Subscription> subscriptions)
    : m_subscriber(context, existingFeeds, FeedSubscriber::Addresses::WebOnly)
    , m_subscriptions(std::move(subscriptions))
{
}

void OpmlTransfer::Importer::subscribeNext(qsizetype count)
{
    const qsizetype end = qMin(m_subscriptions.size(), m_next + count);
    for (; m_next < end; ++m_next) {
        const Subscription &subscription = m_subscriptions.at(m_next);
        switch (m_subscriber.subscribe(subscription)) {
        case FeedSubscriber::Outcome::Added:
            ++m_result.added;
            break;
        case FeedSubscriber::Outcome::NotAnAddress:
            m_result.unusableAddresses.append(FeedSubscriber::withCredentialsFromAddress(subscription).url);
            Q_FALLTHROUGH();
        case FeedSubscriber::Outcome::AlreadySubscribed:
            ++m_result.skipped;
            break;
        }
    }
}

OpmlTransfer::ImportResult OpmlTransfer::subscribeAll(ObjectContext *context, const QList<RSSFeed *> &existingFeeds,
                                                      const QList<Subscription> &subscriptions)
{
    Importer importer(context, existingFeeds, subscriptions);
    importer.subscribeNext(subscriptions.size());
    return importer.result();
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
