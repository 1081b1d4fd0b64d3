#include "model/RSSFeed.h"

#include "platform/NotificationCenter.h"
#include "model/RSSItem.h"
#include "store/ObjectContext.h"

RSSFeed::RSSFeed(ObjectContext *context)
    : Record(Entity::Feed, context)
{
}

RSSFeed::~RSSFeed()
{
    cancelDownload();
}

void RSSFeed::setName(const std::optional<QString> &name)
{
    willChangeValueForKey(QStringLiteral("name"));
    m_name = name;
    didChangeValueForKey(QStringLiteral("name"));
    NotificationCenter::defaultCenter()->postNotificationName(Notifications::updateMenus);
    NotificationCenter::defaultCenter()->postNotificationName(Notifications::feedNameChanged);
}

void RSSFeed::setUrl(const std::optional<QString> &url)
{
    std::optional<QString> value = url;
    if (value && value->startsWith(QLatin1String("feed"))) {
        value->replace(0, 4, QStringLiteral("http"));
    }
    willChangeValueForKey(QStringLiteral("url"));
    m_url = value;
    didChangeValueForKey(QStringLiteral("url"));
    checkFeed();
}

void RSSFeed::setLogin(const std::optional<QString> &login)
{
    willChangeValueForKey(QStringLiteral("login"));
    m_login = login;
    didChangeValueForKey(QStringLiteral("login"));
    if (!m_didConnect) {
        checkFeed();
    }
}

void RSSFeed::setPassword(const std::optional<QString> &password)
{
    willChangeValueForKey(QStringLiteral("password"));
    m_password = password;
    didChangeValueForKey(QStringLiteral("password"));
    if (!m_didConnect) {
        checkFeed();
    }
}

void RSSFeed::setShowInRecentList(bool show)
{
    willChangeValueForKey(QStringLiteral("showInRecentList"));
    m_showInRecentList = show;
    didChangeValueForKey(QStringLiteral("showInRecentList"));
    NotificationCenter::defaultCenter()->postNotificationName(Notifications::updateMenus);
}

void RSSFeed::setLastFetchDate(const std::optional<QDateTime> &date)
{
    willChangeValueForKey(QStringLiteral("lastFetchDate"));
    m_lastFetchDate = date;
    didChangeValueForKey(QStringLiteral("lastFetchDate"));
}

void RSSFeed::setGenerator(const std::optional<QString> &generator)
{
    willChangeValueForKey(QStringLiteral("generator"));
    m_generator = generator;
    didChangeValueForKey(QStringLiteral("generator"));
}

void RSSFeed::addFeedEntry(RSSItem *entry)
{
    const QList<Record *> objects{entry};
    willChangeValueForKey(QStringLiteral("feedEntries"));
    if (entry->m_feed && entry->m_feed != this) {
        entry->m_feed->m_feedEntries.removeOne(entry);
    }
    if (entry->m_feed != this) {
        m_feedEntries.append(entry);
        entry->m_feed = this;
    }
    didChangeValueForKey(QStringLiteral("feedEntries"), SetMutation::Union, objects);
}

void RSSFeed::removeFeedEntry(RSSItem *entry)
{
    removeFeedEntries({entry});
}

void RSSFeed::removeFeedEntries(const QSet<RSSItem *> &entries)
{
    QList<Record *> objects;
    for (RSSItem *entry : entries) {
        objects.append(entry);
    }
    willChangeValueForKey(QStringLiteral("feedEntries"));
    m_feedEntries.removeIf([&entries](RSSItem *entry) { return entries.contains(entry); });
    for (RSSItem *entry : entries) {
        if (entry->m_feed == this) {
            entry->m_feed = nullptr;
        }
    }
    didChangeValueForKey(QStringLiteral("feedEntries"), SetMutation::Minus, objects);
}

QVariant RSSFeed::valueForKey(const QString &key) const
{
    using RecordValue::fromOptional;
    if (key == QLatin1String("name")) {
        return fromOptional(m_name);
    }
    if (key == QLatin1String("url")) {
        return fromOptional(m_url);
    }
    if (key == QLatin1String("login")) {
        return fromOptional(m_login);
    }
    if (key == QLatin1String("password")) {
        return fromOptional(m_password);
    }
    if (key == QLatin1String("showInRecentList")) {
        return showInRecentList();
    }
    if (key == QLatin1String("errorMessage")) {
        return fromOptional(m_errorMessage);
    }
    if (key == QLatin1String("didConnectString")) {
        return fromOptional(m_didConnectString);
    }
    if (key == QLatin1String("lastFetchDate")) {
        return fromOptional(m_lastFetchDate);
    }
    if (key == QLatin1String("link")) {
        return fromOptional(m_link);
    }
    if (key == QLatin1String("generator")) {
        return fromOptional(m_generator);
    }
    qWarning("RSSFeed::valueForKey: unknown key %s", qPrintable(key));
    return {};
}

void RSSFeed::setValueForKey(const QString &key, const QVariant &value)
{
    using RecordValue::toOptionalString;
    if (key == QLatin1String("name")) {
        setName(toOptionalString(value));
    } else if (key == QLatin1String("url")) {
        setUrl(toOptionalString(value));
    } else if (key == QLatin1String("login")) {
        setLogin(toOptionalString(value));
    } else if (key == QLatin1String("password")) {
        setPassword(toOptionalString(value));
    } else if (key == QLatin1String("showInRecentList")) {
        setShowInRecentList(value.toBool());
    } else if (key == QLatin1String("errorMessage")) {
        setErrorMessage(toOptionalString(value));
    } else if (key == QLatin1String("lastFetchDate")) {
        setLastFetchDate(RecordValue::toOptionalDate(value));
    } else if (key == QLatin1String("generator")) {
        setGenerator(toOptionalString(value));
    } else if (key == QLatin1String("link")) {
        willChangeValueForKey(key);
        m_link = toOptionalString(value);
        didChangeValueForKey(key);
    } else {
        qWarning("RSSFeed::setValueForKey: unknown or read-only key %s", qPrintable(key));
    }
}
