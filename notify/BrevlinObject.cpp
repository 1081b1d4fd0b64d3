#include "notify/BrevlinObject.h"

#include <QSet>
#include <QUuid>

#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "notify/NotificationBridgeHost.h"
#include "platform/NotificationService.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "store/ObjectContext.h"

const QString BrevlinObject::newRssEntryName = QStringLiteral("New RSS entry");
const QString BrevlinObject::feedsWithNoNameName = QStringLiteral("RSS feeds with no name");

BrevlinObject::BrevlinObject(NotificationBridgeHost *host, NotificationService *service, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_service(service)
{
    if (service) {
        connect(service, &NotificationService::actionInvoked, this, &BrevlinObject::growlNotificationWasClicked);
        connect(service, &NotificationService::notificationClosed, this, &BrevlinObject::growlNotificationTimedOut);
        // A notification that will never report back is forgotten as a time-out would forget it.
        connect(service, &NotificationService::notificationDropped, this, &BrevlinObject::growlNotificationTimedOut);
    }
    reregister();
}

BrevlinObject::~BrevlinObject() = default;

QString BrevlinObject::applicationNameForGrowl() const
{
    return QStringLiteral("RSS Brevlin");
}

void BrevlinObject::reregister()
{
    if (!UserDefaults::standardUserDefaults()->boolForKey(Preferences::growlListFeedsSeparately)) {
        m_registeredNames = {newRssEntryName};
        return;
    }
    m_registeredNames = {feedsWithNoNameName};
    for (const RSSFeed *feed : m_host->rssFeeds()) {
        if (const std::optional<QString> name = feed->name()) {
            m_registeredNames.append(*name);
        }
    }
}

QVariantMap BrevlinObject::registrationDictionaryForGrowl() const
{
    return {
        {QStringLiteral("AllNotifications"), m_registeredNames},
        {QStringLiteral("DefaultNotifications"), m_registeredNames},
    };
}

QString BrevlinObject::notificationName(const RSSFeed *feed) const
{
    if (!UserDefaults::standardUserDefaults()->boolForKey(Preferences::growlListFeedsSeparately)) {
        return newRssEntryName;
    }
    return feed && feed->name() ? *feed->name() : feedsWithNoNameName;
}

void BrevlinObject::postNewRSSItem(RSSItem *item)
{
    if (!item || !m_service) {
        return;
    }
    NotificationService::Notification notification;
    notification.name = notificationName(item->feed());
    notification.title = item->brevlinTitle();
    notification.body = item->brevlinDescription();
    post(notification, {item, nullptr, item->managedObjectContext()});
}

void BrevlinObject::postMoreEntries(qsizetype count, RSSFeed *feed, qsizetype feedCount)
{
    if (count <= 0 || !m_service) {
        return;
    }
    const QString entries = count == 1 ? tr("1 more new entry") : tr("%1 more new entries").arg(count);
    NotificationService::Notification notification;
    notification.name = notificationName(feed);
    notification.title =
        feed ? tr("%1 in %2").arg(entries, feed->displayName()) : tr("%1 in %2 feeds").arg(entries).arg(feedCount);
    post(notification, {nullptr, feed, feed ? feed->managedObjectContext() : nullptr});
}

void BrevlinObject::post(NotificationService::Notification notification, const HeldItem &held)
{
    notification.clickContext = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    m_rssItemKeyed.insert(notification.clickContext, held);
    watchContext(held.context);
    notification.applicationName = applicationNameForGrowl();
    notification.sticky = m_host->pinGrowlNotification();
    m_service->notify(notification);
}

void BrevlinObject::growlNotificationWasClicked(const QString &clickContext)
{
    const auto found = m_rssItemKeyed.constFind(clickContext);
    if (found == m_rssItemKeyed.cend()) {
        return;
    }
    const HeldItem held = *found;
    m_rssItemKeyed.erase(found);
    if (!UserDefaults::standardUserDefaults()->boolForKey(Preferences::growlClickAction)) {
        return;
    }
    if (held.item) {
        held.item->openFeed();
    } else if (held.feed) {
        held.feed->openFeed();
    }
}

void BrevlinObject::growlNotificationTimedOut(const QString &clickContext)
{
    m_rssItemKeyed.remove(clickContext);
}

// The bridge holds entries it does not own: it lets go of every entry its context deletes or
// frees, so a late click finds nothing rather than a dead entry.
void BrevlinObject::watchContext(ObjectContext *context)
{
    if (!context || m_watchedContexts.contains(context)) {
        return;
    }
    m_watchedContexts.append(context);
    connect(context, &ObjectContext::objectsDidChange, this, &BrevlinObject::forgetRecords);
    connect(context, &ObjectContext::itemsWillBeReleased, this, &BrevlinObject::forgetRecords);
    connect(context, &QObject::destroyed, this, &BrevlinObject::forgetContext);
}

// Only addresses are compared: a deleted entry that was never saved is already freed here.
void BrevlinObject::forgetRecords(const QList<Record *> &records)
{
    const QSet<const Record *> gone(records.cbegin(), records.cend());
    m_rssItemKeyed.removeIf(
        [&gone](const auto &held) { return gone.contains(held.value().item) || gone.contains(held.value().feed); });
}

void BrevlinObject::forgetContext(QObject *context)
{
    m_watchedContexts.removeAll(context);
    m_rssItemKeyed.removeIf([context](const auto &held) { return held.value().context == context; });
}
