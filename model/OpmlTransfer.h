#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "model/FeedSubscriber.h"
#include "model/Subscription.h"

class ObjectContext;
class RSSFeed;

// Moves subscription lists between OPML files and the store, for the command line and the
// subscription window alike, so both count, skip and write the same way.
class OpmlTransfer
{
public:
    struct ImportResult
    {
        int added = 0;
        // Addresses already subscribed to and those no check could fetch; a list adds web
        // addresses only.
        int skipped = 0;
        // The second kind only: worth telling the user, the first is expected on a re-import.
        QStringList unusableAddresses;
    };

    // Subscribes to a list a part at a time, so that a long one can be spread over several
    // turns of the event loop.
    class Importer
    {
    public:
        Importer(ObjectContext *context, const QList<RSSFeed *> &existingFeeds, QList<Subscription> subscriptions);
        // Takes up to count more subscriptions of the list.
        void subscribeNext(qsizetype count);
        qsizetype done() const { return m_next; }
        qsizetype total() const { return m_subscriptions.size(); }
        bool isDone() const { return m_next == m_subscriptions.size(); }
        const ImportResult &result() const { return m_result; }

    private:
        FeedSubscriber m_subscriber;
        QList<Subscription> m_subscriptions;
        qsizetype m_next = 0;
        ImportResult m_result;
    };

    static ImportResult subscribeAll(ObjectContext *context, const QList<RSSFeed *> &existingFeeds,
                                     const QList<Subscription> &subscriptions);
    // The file appears complete or not at all; *errorString says why it did not.
    static bool exportFile(const QList<RSSFeed *> &feeds, const QString &path, QString *errorString);
};
