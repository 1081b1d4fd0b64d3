#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

class BrevlinObject;
class RSSFeed;
class RSSItem;

// Keeps a burst of new entries from flooding the desktop. Of the entries one document brings, the
// newest "Maximum Notifications Per Feed" are announced one by one and one more notice sums up the
// rest; one check posts at most "Maximum Notifications Per Check" notices in all, and one more at
// its end sums up what they left out. A feed with notifications off announces nothing. Outside a
// check (a feed checked after an edit) each document counts as a check of its own.
class NotificationLimits : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultPerFeed = 5;
    static constexpr int DefaultPerCheck = 20;

    explicit NotificationLimits(BrevlinObject *bridge, QObject *parent = nullptr);

    // A check starts: what the previous one left out is summed up first.
    void beginCheck();
    void endCheck();
    // A document announces a new entry; it waits for the rest of its document.
    void addEntry(RSSItem *entry);
    // The document's parse ended: its entries are announced, or summed up.
    void documentParsed();

private:
    void announceFeed(RSSFeed *feed, const QList<RSSItem *> &entries);
    void leaveOut(RSSFeed *feed, qsizetype count);
    void postLeftOut();
    // The preference's limit; 0 (no limit) reads as the largest count, a negative one as the default.
    static qsizetype limit(const QString &key, int defaultLimit);

    struct Pending
    {
        RSSItem *entry;
        std::weak_ptr<const void> lifetime;
    };

    BrevlinObject *m_bridge;
    QList<Pending> m_pending;
    bool m_inCheck = false;
    qsizetype m_posted = 0;
    qsizetype m_leftOut = 0;
    QList<QPointer<RSSFeed>> m_leftOutFeeds;
};
