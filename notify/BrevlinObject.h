#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

#include "platform/NotificationService.h"

class NotificationBridgeHost;
class ObjectContext;
class Record;
class RSSFeed;
class RSSItem;

// The program's side of the desktop notifications: the list of notification names, one
// notification per announced entry, and what a click or a time-out of it does.
class BrevlinObject : public QObject
{
    Q_OBJECT
public:
    static const QString newRssEntryName;
    static const QString feedsWithNoNameName;

    // Registers at once, as every later re-registration does.
    BrevlinObject(NotificationBridgeHost *host, NotificationService *service, QObject *parent = nullptr);
    ~BrevlinObject() override;

    QString applicationNameForGrowl() const;
    // Reads the list of notification names afresh: after a feed rename or a preference change.
    void reregister();
    QVariantMap registrationDictionaryForGrowl() const;
    QStringList registeredNotificationNames() const { return m_registeredNames; }

    void postNewRSSItem(RSSItem *item);
    // One notice for count new entries not announced one by one: "N more new entries in <feed
    // name>", whose click opens the feed, or with no feed "... in M feeds", whose click opens nothing.
    void postMoreEntries(qsizetype count, RSSFeed *feed, qsizetype feedCount);
    void growlNotificationWasClicked(const QString &clickContext);
    void growlNotificationTimedOut(const QString &clickContext);

    // The posted notifications that may still report a click or a time-out.
    QStringList outstandingClickContexts() const { return m_rssItemKeyed.keys(); }

private:
    // What a click opens: an entry, or for a summary its feed (or nothing).
    struct HeldItem
    {
        RSSItem *item = nullptr;
        RSSFeed *feed = nullptr;
        ObjectContext *context = nullptr;
    };

    QString notificationName(const RSSFeed *feed) const;
    void post(NotificationService::Notification notification, const HeldItem &held);
    void watchContext(ObjectContext *context);
    void forgetRecords(const QList<Record *> &records);
    void forgetContext(QObject *context);

    NotificationBridgeHost *m_host;
    QPointer<NotificationService> m_service;
    QStringList m_registeredNames;
    // Each entry under the click context of its notification; an entry announced twice is held twice.
    QHash<QString, HeldItem> m_rssItemKeyed;
    QList<const QObject *> m_watchedContexts;
};
