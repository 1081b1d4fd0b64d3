#include "controller/FeedCheckRound.h"

#include "model/RSSFeed.h"
#include "store/ObjectContext.h"

FeedCheckRound::FeedCheckRound(const QList<RSSFeed *> &feeds, QObject *parent)
    : QObject(parent)
    , m_feeds(feeds)
{
}

void FeedCheckRound::start()
{
    m_started = true;
    QSet<ObjectContext *> contexts;
    for (RSSFeed *feed : std::as_const(m_feeds)) {
        // Counted after checkFeed, whose pruning is not news: from here on only the parse
        // of this check's document adds entries.
        m_entriesAtStart.insert(feed, feed->feedEntries().size());
        if (feed->isDownloading()) {
            m_pending.insert(feed);
            connect(feed, &RSSFeed::checkEnded, this, [this, feed] { onCheckEnded(feed); });
        }
        contexts.insert(feed->managedObjectContext());
    }
    for (ObjectContext *context : std::as_const(contexts)) {
        connect(context, &ObjectContext::objectsDidChange, this, &FeedCheckRound::onObjectsDeleted);
    }
    finishIfDone();
}

void FeedCheckRound::onCheckEnded(RSSFeed *feed)
{
    disconnect(feed, &RSSFeed::checkEnded, this, nullptr);
    if (!m_pending.remove(feed)) {
        return;
    }
    m_ended.insert(feed);
    Q_EMIT feedChecked(feed);
    finishIfDone();
}

void FeedCheckRound::onObjectsDeleted(const QList<Record *> &deletedObjects)
{
    // Called for every deletion in the store (an import deletes each address it skips): the
    // feeds of the round are looked up, not searched.
    QSet<RSSFeed *> leaving;
    for (Record *record : deletedObjects) {
        auto *feed = dynamic_cast<RSSFeed *>(record);
        if (feed && m_entriesAtStart.remove(feed)) {
            leaving.insert(feed);
        }
    }
    if (leaving.isEmpty()) {
        return;
    }
    m_feeds.removeIf([&leaving](RSSFeed *feed) { return leaving.contains(feed); });
    const bool wasPending = !m_pending.isEmpty();
    for (RSSFeed *feed : std::as_const(leaving)) {
        m_pending.remove(feed);
        m_ended.remove(feed);
    }
    if (wasPending) {
        finishIfDone();
    }
}

void FeedCheckRound::finishIfDone()
{
    if (m_started && m_pending.isEmpty()) {
        Q_EMIT finished();
    }
}

int FeedCheckRound::newEntries(RSSFeed *feed) const
{
    const auto start = m_entriesAtStart.constFind(feed);
    if (start == m_entriesAtStart.cend()) {
        return 0;
    }
    return int(qMax<qsizetype>(0, feed->feedEntries().size() - *start));
}

int FeedCheckRound::newEntries() const
{
    int total = 0;
    for (RSSFeed *feed : m_feeds) {
        total += newEntries(feed);
    }
    return total;
}

int FeedCheckRound::failures() const
{
    int count = 0;
    for (RSSFeed *feed : m_ended) {
        count += feed->didConnect() ? 0 : 1;
    }
    return count;
}
