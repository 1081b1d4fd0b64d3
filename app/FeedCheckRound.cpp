#include "app/FeedCheckRound.h"

#include "model/RSSFeed.h"

FeedCheckRound::FeedCheckRound(const QList<RSSFeed *> &feeds, QObject *parent)
    : QObject(parent)
    , m_feeds(feeds)
{
}

void FeedCheckRound::start()
{
    m_started = true;
    for (RSSFeed *feed : std::as_const(m_feeds)) {
        // Counted after checkFeed, whose pruning is not news: from here on only the parse
        // of this check's document adds entries.
        m_entriesAtStart.insert(feed, feed->feedEntries().size());
        if (feed->isDownloading()) {
            m_pending.insert(feed);
            connect(feed, &RSSFeed::checkEnded, this, [this, feed] { onCheckEnded(feed); });
        }
    }
    if (m_pending.isEmpty()) {
        Q_EMIT finished();
    }
}

void FeedCheckRound::onCheckEnded(RSSFeed *feed)
{
    disconnect(feed, &RSSFeed::checkEnded, this, nullptr);
    if (!m_pending.remove(feed)) {
        return;
    }
    m_ended.insert(feed);
    Q_EMIT feedChecked(feed);
    if (m_pending.isEmpty()) {
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
