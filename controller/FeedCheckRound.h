#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>

class Record;
class RSSFeed;

// One check of a list of feeds, followed to its end from the moment the controller asked each
// feed to check itself: the round is over once every check that started a download has
// ended, its document parsed or its download failed. A feed that started no download (no
// address, or one that is no URL) counts as done at once. A feed deleted from the store during
// the round leaves it: its check will never end, and the feed itself is freed at the next save.
class FeedCheckRound : public QObject
{
    Q_OBJECT
public:
    explicit FeedCheckRound(const QList<RSSFeed *> &feeds, QObject *parent = nullptr);

    // Call right after the feeds were asked to check themselves.
    void start();
    bool isFinished() const { return m_started && m_pending.isEmpty(); }
    QList<RSSFeed *> feeds() const { return m_feeds; }
    // Entries the feed's check of this round added to its history so far.
    int newEntries(RSSFeed *feed) const;
    int newEntries() const;
    // Feeds whose check in this round ended without a readable document.
    int failures() const;

Q_SIGNALS:
    // One feed's check of this round ended; emitted before finished() for the last one.
    void feedChecked(RSSFeed *feed);
    void finished();

private:
    void onCheckEnded(RSSFeed *feed);
    void onObjectsDeleted(const QList<Record *> &deletedObjects);
    void finishIfDone();

    QList<RSSFeed *> m_feeds;
    QHash<RSSFeed *, qsizetype> m_entriesAtStart;
    QSet<RSSFeed *> m_pending;
    QSet<RSSFeed *> m_ended;
    bool m_started = false;
};
