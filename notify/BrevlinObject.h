#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

class NotificationBridgeHost;
class NotificationService;
class ObjectContext;
class Record;
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
    void growlNotificationWasClicked(const QString &clickContext);
    void growlNotificationTimedOut(const QString &clickContext);

    // The posted notifications that may still report a click or a time-out.
    QStringList outstandingClickContexts() const { return m_rssItemKeyed.keys(); }

private:
    struct HeldItem
    {
        RSSItem *item = nullptr;
        ObjectContext *context = nullptr;
    };

    QString notificationName(const RSSItem *item) const;
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
