#include "model/RSSItem.h"

#include "model/RSSFeed.h"
#include "model/SubLink.h"
#include "platform/WebArchiveJob.h"
#include "store/ObjectContext.h"

namespace {

// QString::toUtf8 reserves room for the worst case; an entry keeps its text for a while.
QByteArray compactUtf8(const QString &text)
{
    QByteArray utf8 = text.toUtf8();
    utf8.squeeze();
    return utf8;
}

} // namespace

RSSItem::RSSItem(ObjectContext *context)
    : Record(entityDescription(), context)
{
}

RSSItem::~RSSItem() = default;

RSSItem::Details &RSSItem::details() const
{
    if (!m_details) {
        m_details = std::make_unique<Details>();
    }
    return *m_details;
}

void RSSItem::releaseLazyValues()
{
    m_details.reset();
    // Only an unchanged entry is released, so its text is the store's.
    m_text.reset();
}

void RSSItem::setTitle(const std::optional<QString> &title)
{
    fireFault();
    details().title = title;
    didChangeValueForKey(QStringLiteral("title"));
}

void RSSItem::setAuthor(const std::optional<QString> &author)
{
    fireFault();
    details().author = author;
    didChangeValueForKey(QStringLiteral("author"));
}

void RSSItem::setDate(const std::optional<QDateTime> &date)
{
    // Kept as UTC, the instant unchanged: every rebuild of the menu compares the dates of the
    // entries it shows, and an instant in a named time zone costs a zone lookup per comparison.
    m_date = date ? std::optional<QDateTime>(date->toUTC()) : std::nullopt;
    if (m_feed) {
        m_feed->historyOrderChanged();
    }
    didChangeValueForKey(QStringLiteral("date"));
}

void RSSItem::setUrl(const std::optional<QString> &url)
{
    fireFault();
    details().url = url;
    didChangeValueForKey(QStringLiteral("url"));
}

void RSSItem::setGuid(const std::optional<QString> &guid)
{
    fireFault();
    managedObjectContext()->identifierWillChange(*this, details().guid, guid);
    details().guid = guid;
    didChangeValueForKey(QStringLiteral("guid"));
}

std::optional<QByteArray> &RSSItem::storedText() const
{
    if (!m_text) {
        m_text = std::make_unique<std::optional<QByteArray>>();
    }
    return *m_text;
}

std::optional<QString> RSSItem::text() const
{
    if (!m_text) {
        // Fired, the entry takes its place among the records holding what they read, so that its
        // text goes with its other values when many others were read since: --dump-json reads
        // every text of the store.
        fireFault();
        const std::optional<QString> stored = managedObjectContext()->loadText(*this);
        storedText() = stored ? std::optional<QByteArray>(compactUtf8(*stored)) : std::nullopt;
    }
    return *m_text ? std::optional<QString>(QString::fromUtf8(**m_text)) : std::nullopt;
}

void RSSItem::setPrimitiveText(const std::optional<QString> &text)
{
    storedText() = text ? std::optional<QByteArray>(compactUtf8(*text)) : std::nullopt;
    didChangeValueForKey(QStringLiteral("text"));
}

void RSSItem::setCachedPath(const std::optional<QString> &path)
{
    if (path || m_pageCache) {
        pageCache().path = path;
    }
    didChangeValueForKey(QStringLiteral("cachedPath"));
}

RSSItem::PageCache &RSSItem::pageCache()
{
    if (!m_pageCache) {
        m_pageCache = std::make_unique<PageCache>();
    }
    return *m_pageCache;
}

std::optional<QString> RSSItem::cachedID() const
{
    const std::optional<QString> path = cachedPath();
    if (!path) {
        return std::nullopt;
    }
    return path->section(QLatin1Char('/'), -1);
}

std::partial_ordering RSSItem::dateCompare(const RSSItem &other) const
{
    if (!m_date || !other.m_date) {
        // Undated entries go after every dated one.
        return bool(other.m_date) <=> bool(m_date);
    }
    return other.m_date->toMSecsSinceEpoch() <=> m_date->toMSecsSinceEpoch();
}
