#pragma once

#include <QHash>
#include <QList>
#include <QStringList>

#include <optional>

#include "platform/NotificationService.h"

class OrgFreedesktopNotificationsInterface;
class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

// Notifications through the freedesktop notification server (org.freedesktop.Notifications)
// on the session bus. The server's ids are mapped back to click contexts; signals about
// anyone else's notifications are ignored.
class FreedesktopNotificationService : public NotificationService
{
    Q_OBJECT
public:
    explicit FreedesktopNotificationService(QObject *parent = nullptr);
    ~FreedesktopNotificationService() override;

    void notify(const Notification &notification) override;
    bool isAvailable() const override { return !m_owner.isEmpty(); }
    bool supportsActions() const override;
    bool supportsBodyMarkup() const override;
    bool hasPostsInFlight() const override { return !m_queue.isEmpty() || m_pendingNotifies > 0; }

private:
    // A server signal for an id that is not (yet) known to be ours.
    struct ServerEvent
    {
        uint id = 0;
        bool closed = false;
        QString actionKey;
    };

    void requestCapabilities();
    void onCapabilitiesFinished(QDBusPendingCallWatcher *call, quint64 generation);
    void send(const Notification &notification);
    void onNotifyFinished(QDBusPendingCallWatcher *call, quint64 generation, const QString &clickContext);
    void onActionInvoked(uint id, const QString &actionKey);
    void onNotificationClosed(uint id, uint reason);
    void handle(const ServerEvent &event);
    void onOwnerChanged(const QString &service, const QString &oldOwner, const QString &newOwner);
    void dropQueue();

    OrgFreedesktopNotificationsInterface *m_proxy;
    QDBusServiceWatcher *m_watcher;
    QString m_owner;
    // Ids are the server's, so everything learnt from one server is forgotten when its owner
    // changes; replies still on their way from it carry an older generation.
    quint64 m_generation = 0;
    std::optional<QStringList> m_capabilities;
    bool m_capabilitiesPending = false;
    // Posts waiting for the server's capabilities, which decide how the body is written.
    QList<Notification> m_queue;
    QHash<uint, QString> m_contextById;
    int m_pendingNotifies = 0;
    // A server may signal about a notification before our Notify reply arrives; those signals
    // wait here until no reply is outstanding.
    QList<ServerEvent> m_unmatched;
};
