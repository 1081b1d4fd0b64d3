#include "notify/NotificationLimits.h"

#include <limits>

#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "notify/BrevlinObject.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"

NotificationLimits::NotificationLimits(BrevlinObject *bridge, QObject *parent)
    : QObject(parent)
    , m_bridge(bridge)
{
}

void NotificationLimits::beginCheck()
{
    postLeftOut();
    m_inCheck = true;
    m_posted = 0;
}

void NotificationLimits::endCheck()
{
    documentParsed();
    postLeftOut();
    m_inCheck = false;
}

void NotificationLimits::addEntry(RSSItem *entry)
{
    if (entry && entry->feed()) {
        m_pending.append({entry, entry->lifetime()});
    }
}

void NotificationLimits::documentParsed()
{
    if (m_pending.isEmpty()) {
        return;
    }
    if (!m_inCheck) {
        m_posted = 0;
    }
    // A document is one feed's; entries are grouped by feed all the same, in the order they came.
    // An entry freed or detached since it was announced is passed over.
    QList<RSSItem *> pending;
    for (const Pending &announced : std::exchange(m_pending, {})) {
        if (!announced.lifetime.expired() && announced.entry->feed()) {
            pending.append(announced.entry);
        }
    }
    QList<RSSFeed *> feeds;
    for (const RSSItem *entry : std::as_const(pending)) {
        if (!feeds.contains(entry->feed())) {
            feeds.append(entry->feed());
        }
    }
    for (RSSFeed *feed : feeds) {
        QList<RSSItem *> entries;
        for (RSSItem *entry : std::as_const(pending)) {
            if (entry->feed() == feed) {
                entries.append(entry);
            }
        }
        if (feed->notifies()) {
            announceFeed(feed, RSSItem::newestFirst(entries));
        }
    }
    if (!m_inCheck) {
        postLeftOut();
    }
}

void NotificationLimits::announceFeed(RSSFeed *feed, const QList<RSSItem *> &entries)
{
    const qsizetype left = limit(Preferences::maximumNotificationsPerCheck, DefaultPerCheck) - m_posted;
    const qsizetype shown = std::min(entries.size(), limit(Preferences::maximumNotificationsPerFeed, DefaultPerFeed));
    const qsizetype rest = entries.size() - shown;
    // The feed's own summary is one notice more: when the check cannot spare it, the check's
    // summary takes the rest instead.
    const bool fits = shown + (rest > 0 ? 1 : 0) <= left;
    const qsizetype posted = fits ? shown : std::max<qsizetype>(0, std::min(shown, left));
    for (qsizetype i = 0; i < posted; ++i) {
        m_bridge->postNewRSSItem(entries.at(i));
    }
    m_posted += posted;
    if (fits && rest > 0) {
        m_bridge->postMoreEntries(rest, feed, 1);
        ++m_posted;
    } else if (!fits) {
        leaveOut(feed, entries.size() - posted);
    }
}

void NotificationLimits::leaveOut(RSSFeed *feed, qsizetype count)
{
    if (count <= 0) {
        return;
    }
    m_leftOut += count;
    if (!m_leftOutFeeds.contains(feed)) {
        m_leftOutFeeds.append(feed);
    }
}

void NotificationLimits::postLeftOut()
{
    if (m_leftOut == 0) {
        return;
    }
    // A feed deleted meanwhile still counts; the notice then opens nothing.
    QList<RSSFeed *> feeds;
    for (const QPointer<RSSFeed> &feed : std::as_const(m_leftOutFeeds)) {
        if (feed && feed->state() != Record::State::Deleted) {
            feeds.append(feed);
        }
    }
    const qsizetype count = std::exchange(m_leftOut, 0);
    const qsizetype feedCount = std::max<qsizetype>(1, m_leftOutFeeds.size());
    m_bridge->postMoreEntries(count, m_leftOutFeeds.size() == 1 && feeds.size() == 1 ? feeds.first() : nullptr,
                              feedCount);
    m_leftOutFeeds.clear();
}

qsizetype NotificationLimits::limit(const QString &key, int defaultLimit)
{
    qint32 value = UserDefaults::standardUserDefaults()->integerForKey(key);
    if (value < 0) {
        value = defaultLimit;
    }
    return value == 0 ? std::numeric_limits<qsizetype>::max() / 2 : qsizetype(value);
}
