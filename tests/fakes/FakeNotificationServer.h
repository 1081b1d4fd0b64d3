#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A notification server for tests: owns org.freedesktop.Notifications on the session bus
// through a connection of its own (so its traffic really crosses the bus), records every
// Notify call, answers GetCapabilities from a list the test sets, and sends ActionInvoked
// and NotificationClosed when the test says so.
class FakeNotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call
    {
        QString applicationName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
        uint id = 0;
    };

    // Close reasons of the protocol.
    static constexpr uint expired = 1;
    static constexpr uint dismissed = 2;

    explicit FakeNotificationServer(QObject *parent = nullptr);
    ~FakeNotificationServer() override;

    // Takes the service name; false when another owner holds it.
    bool start();
    // Gives the name up, as a server that quits.
    void stop();

    void setCapabilities(const QStringList &capabilities) { m_capabilities = capabilities; }
    // While held, Notify calls get their replies only at releaseReplies().
    void setHoldReplies(bool hold) { m_holdReplies = hold; }
    void releaseReplies();
    // Notify calls are answered with an error.
    void setRefuseNotify(bool refuse) { m_refuseNotify = refuse; }
    // No call is ever answered, as a server stuck under a burst of notifications.
    void setNeverAnswer(bool never) { m_neverAnswer = never; }

    void invokeAction(uint id, const QString &actionKey = QStringLiteral("default"));
    void close(uint id, uint reason = expired);
    // An id that no call of ours was given: another application's notification.
    uint foreignId() const { return m_nextId + 1000; }

    QList<Call> calls;
    int capabilityRequests = 0;

public Q_SLOTS:
    Q_SCRIPTABLE uint Notify(const QString &app_name, uint replaces_id, const QString &app_icon, const QString &summary,
                             const QString &body, const QStringList &actions, const QVariantMap &hints,
                             int expire_timeout);
    Q_SCRIPTABLE void CloseNotification(uint id);
    Q_SCRIPTABLE QStringList GetCapabilities();
    Q_SCRIPTABLE QString GetServerInformation(QString &vendor, QString &version, QString &spec_version);

Q_SIGNALS:
    Q_SCRIPTABLE void NotificationClosed(uint id, uint reason);
    Q_SCRIPTABLE void ActionInvoked(uint id, const QString &action_key);
    // Lets a test wait for a call (QtDBus relays no signal without the scriptable mark).
    void notifyCalled();

private:
    QDBusConnection m_connection;
    QStringList m_capabilities{QStringLiteral("actions"), QStringLiteral("body")};
    bool m_holdReplies = false;
    bool m_refuseNotify = false;
    bool m_neverAnswer = false;
    bool m_started = false;
    uint m_nextId = 1;
    QList<QDBusMessage> m_heldReplies;
};
