#include "model/RSSItem.h"

#include "model/RSSFeed.h"
#include "model/SubLink.h"
#include "platform/NotificationCenter.h"
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
    : Record(Entity::Item, context)
{
}

RSSItem::~RSSItem() = default;

void RSSItem::setTitle(const std::optional<QString> &title)
{
    willChangeValueForKey(QStringLiteral("title"));
    m_title = title;
    didChangeValueForKey(QStringLiteral("title"));
}

void RSSItem::setAuthor(const std::optional<QString> &author)
{
    willChangeValueForKey(QStringLiteral("author"));
    m_author = author;
    didChangeValueForKey(QStringLiteral("author"));
}

void RSSItem::setDate(const std::optional<QDateTime> &date)
{
    willChangeValueForKey(QStringLiteral("date"));
    m_date = date;
    didChangeValueForKey(QStringLiteral("date"));
}

void RSSItem::setUrl(const std::optional<QString> &url)
{
    willChangeValueForKey(QStringLiteral("url"));
    m_url = url;
    didChangeValueForKey(QStringLiteral("url"));
}

void RSSItem::setGuid(const std::optional<QString> &guid)
{
    if (state() == State::Inserted) {
        managedObjectContext()->unsavedGuidChanged(m_guid, guid, true);
    }
    willChangeValueForKey(QStringLiteral("guid"));
    m_guid = guid;
    didChangeValueForKey(QStringLiteral("guid"));
}

std::optional<QString> RSSItem::text() const
{
    if (!m_textLoaded) {
        const std::optional<QString> stored = managedObjectContext()->loadText(this);
        m_text = stored ? std::optional<QByteArray>(compactUtf8(*stored)) : std::nullopt;
        m_textLoaded = true;
    }
    return m_text ? std::optional<QString>(QString::fromUtf8(*m_text)) : std::nullopt;
}

void RSSItem::setPrimitiveText(const std::optional<QString> &text)
{
    willChangeValueForKey(QStringLiteral("text"));
    m_text = text ? std::optional<QByteArray>(compactUtf8(*text)) : std::nullopt;
    m_textLoaded = true;
    didChangeValueForKey(QStringLiteral("text"));
}

void RSSItem::setCachedPath(const std::optional<QString> &path)
{
    willChangeValueForKey(QStringLiteral("cachedPath"));
    m_cachedPath = path;
    didChangeValueForKey(QStringLiteral("cachedPath"));
}

std::optional<QString> RSSItem::cachedID() const
{
    if (!m_cachedPath) {
        return std::nullopt;
    }
    return m_cachedPath->section(QLatin1Char('/'), -1);
}

std::partial_ordering RSSItem::dateCompare(const RSSItem &other) const
{
    if (!m_date || !other.m_date) {
        // Undated entries go after every dated one.
        return bool(other.m_date) <=> bool(m_date);
    }
    return other.m_date->toMSecsSinceEpoch() <=> m_date->toMSecsSinceEpoch();
}

QVariant RSSItem::valueForKey(const QString &key) const
{
    using RecordValue::fromOptional;
    if (key == QLatin1String("title")) {
        return fromOptional(m_title);
    }
    if (key == QLatin1String("author")) {
        return fromOptional(m_author);
    }
    if (key == QLatin1String("date")) {
        return fromOptional(m_date);
    }
    if (key == QLatin1String("url")) {
        return fromOptional(m_url);
    }
    if (key == QLatin1String("guid")) {
        return fromOptional(m_guid);
    }
    if (key == QLatin1String("text")) {
        return fromOptional(text());
    }
    if (key == QLatin1String("cachedPath")) {
        return fromOptional(m_cachedPath);
    }
    qWarning("RSSItem::valueForKey: unknown key %s", qPrintable(key));
    return {};
}

void RSSItem::setValueForKey(const QString &key, const QVariant &value)
{
    using RecordValue::toOptionalString;
    if (key == QLatin1String("title")) {
        setTitle(toOptionalString(value));
    } else if (key == QLatin1String("author")) {
        setAuthor(toOptionalString(value));
    } else if (key == QLatin1String("date")) {
        setDate(RecordValue::toOptionalDate(value));
    } else if (key == QLatin1String("url")) {
        setUrl(toOptionalString(value));
    } else if (key == QLatin1String("guid")) {
        setGuid(toOptionalString(value));
    } else if (key == QLatin1String("text")) {
        setText(toOptionalString(value));
    } else if (key == QLatin1String("cachedPath")) {
        setCachedPath(toOptionalString(value));
    } else {
        qWarning("RSSItem::setValueForKey: unknown key %s", qPrintable(key));
    }
}

QVariantMap RSSItem::userInfoForItem(RSSItem *item)
{
    return {{Notifications::rssItemKey, QVariant::fromValue(item)}};
}

RSSItem *RSSItem::itemFromUserInfo(const QVariantMap &userInfo)
{
    return userInfo.value(Notifications::rssItemKey).value<RSSItem *>();
}
