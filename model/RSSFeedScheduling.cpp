#include "model/RSSFeed.h"

#include "model/FeedEvents.h"
#include "model/FeedScheduleHints.h"

namespace {

// A timer's tick may come a moment before the interval is over, measured from the moment the
// last tick's handler ran; a check it left for the next tick would wait a whole tick more.
constexpr qint64 tickToleranceMs = 1000;

} // namespace

void RSSFeed::setNotifies(bool notify)
{
    m_notify = notify;
    didChangeValueForKey(QStringLiteral("notify"));
}

void RSSFeed::setInterval(const std::optional<qint64> &seconds)
{
    m_interval = seconds ? std::optional<qint64>(CheckInterval::bounded(*seconds)) : std::nullopt;
    didChangeValueForKey(QStringLiteral("interval"));
    // The controller's timer may have to tick more often.
    Q_EMIT FeedEvents::of(managedObjectContext())->checkIntervalChanged(this);
}

bool RSSFeed::isDue(const QDateTime &now, std::chrono::milliseconds global) const
{
    if (m_retryAfter && now < *m_retryAfter) {
        return false;
    }
    // A feed's own interval is the user's word over what the feed says of itself.
    if (!m_interval && FeedScheduleHints::skips(skipTimes(), now)) {
        return false;
    }
    if (!m_checkRequested) {
        return true;
    }
    return now.toMSecsSinceEpoch() - *m_checkRequested + tickToleranceMs >= checkEvery(global).length.count();
}

void RSSFeed::setDocumentHints(const FeedScheduleHints &hints)
{
    m_documentInterval = hints.intervalSeconds();
    if (skipTimes() != hints.skipTimes()) {
        m_skipTimes = hints.skipTimes();
        didChangeValueForKey(QStringLiteral("skipTimes"));
    }
    updateHintedInterval();
}

void RSSFeed::setResponseFreshness(const std::optional<qint64> &seconds)
{
    m_responseFreshness = seconds;
    updateHintedInterval();
}

void RSSFeed::updateHintedInterval()
{
    std::optional<qint64> longest = m_documentInterval;
    if (m_responseFreshness) {
        longest = std::max(longest.value_or(0), *m_responseFreshness);
    }
    // Most checks find what the last one found; they leave the record as it was.
    if (longest != m_hintedInterval) {
        m_hintedInterval = longest;
        didChangeValueForKey(QStringLiteral("hintedInterval"));
    }
}
