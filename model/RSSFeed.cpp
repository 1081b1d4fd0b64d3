#include "model/RSSFeed.h"

#include "model/FeedEvents.h"
#include "model/RSSItem.h"
#include "store/ObjectContext.h"

RSSFeed::RSSFeed(ObjectContext *context)
    : Record(entityDescription(), context)
{
}

void RSSFeed::setName(const std::optional<QString> &name)
{
    m_name = name;
    didChangeValueForKey(QStringLiteral("name"));
    FeedEvents *events = FeedEvents::of(managedObjectContext());
    Q_EMIT events->updateMenus();
    Q_EMIT events->feedNameChanged(this);
}

QString RSSFeed::withFeedSchemeAsHttp(const QString &url)
{
    return url.startsWith(QLatin1String("feed")) ? QStringLiteral("http") + url.sliced(4) : url;
}

void RSSFeed::setUrl(const std::optional<QString> &url)
{
    const std::optional<QString> value = url ? std::optional(withFeedSchemeAsHttp(*url)) : std::nullopt;
    if (value != m_url) {
        setRetryAfter(std::nullopt);
        rememberKeyringKey();
    }
    m_url = value;
    didChangeValueForKey(QStringLiteral("url"));
    movePasswordToKeyring();
    checkFeed();
}

void RSSFeed::setLogin(const std::optional<QString> &login)
{
    if (login != m_login) {
        setRetryAfter(std::nullopt);
        rememberKeyringKey();
    }
    m_login = login;
    didChangeValueForKey(QStringLiteral("login"));
    movePasswordToKeyring();
    if (!m_didConnect) {
        checkFeed();
    }
}

void RSSFeed::setCredentials(const Credentials &credentials)
{
    if (credentials.login) {
        setLogin(credentials.login);
    }
    if (credentials.password) {
        setPassword(credentials.password);
    }
}

void RSSFeed::setShowInRecentList(bool show)
{
    m_showInRecentList = show;
    didChangeValueForKey(QStringLiteral("showInRecentList"));
    Q_EMIT FeedEvents::of(managedObjectContext())->updateMenus();
}

void RSSFeed::setLastFetchDate(const std::optional<QDateTime> &date)
{
    m_lastFetchDate = date;
    didChangeValueForKey(QStringLiteral("lastFetchDate"));
}

void RSSFeed::setLink(const std::optional<QString> &link)
{
    m_link = link;
    didChangeValueForKey(QStringLiteral("link"));
}

void RSSFeed::setGenerator(const std::optional<QString> &generator)
{
    m_generator = generator;
    didChangeValueForKey(QStringLiteral("generator"));
}

void RSSFeed::setRetryAfter(const std::optional<QDateTime> &moment)
{
    // Most checks end without a pause; they leave the record as it was.
    if (moment == m_retryAfter) {
        return;
    }
    m_retryAfter = moment;
    didChangeValueForKey(QStringLiteral("retryAfter"));
}

void RSSFeed::addFeedEntry(RSSItem *entry)
{
    const QList<Record *> objects{entry};
    if (entry->m_feed && entry->m_feed != this) {
        entry->m_feed->m_feedEntries.removeOne(entry);
        entry->m_feed->historyOrderChanged();
    }
    if (entry->m_feed != this) {
        m_feedEntries.append(entry);
        entry->m_feed = this;
        historyOrderChanged();
    }
    didChangeValueForKey(QStringLiteral("feedEntries"), objects);
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
    m_feedEntries.removeIf([&entries](RSSItem *entry) { return entries.contains(entry); });
    historyOrderChanged();
    for (RSSItem *entry : entries) {
        if (entry->m_feed == this) {
            entry->m_feed = nullptr;
        }
    }
    didChangeValueForKey(QStringLiteral("feedEntries"), objects);
}
