#include "FakeNotificationServer.h"

#include <QUuid>

namespace {
const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");

QString connectionName()
{
    return QStringLiteral("fake-notification-server-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}
} // namespace

FakeNotificationServer::FakeNotificationServer(QObject *parent)
    : QObject(parent)
    , m_connection(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName()))
{
}

FakeNotificationServer::~FakeNotificationServer()
{
    stop();
    const QString name = m_connection.name();
    m_connection = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(name);
}

bool FakeNotificationServer::start()
{
    if (!m_connection.registerObject(
            objectPath, this, QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals)) {
        return false;
    }
    m_started = m_connection.registerService(serviceName);
    return m_started;
}

void FakeNotificationServer::stop()
{
    if (m_started) {
        m_connection.unregisterService(serviceName);
        m_connection.unregisterObject(objectPath);
        m_started = false;
    }
}

void FakeNotificationServer::releaseReplies()
{
    for (const QDBusMessage &reply : std::exchange(m_heldReplies, {})) {
        m_connection.send(reply);
    }
}

void FakeNotificationServer::invokeAction(uint id, const QString &actionKey)
{
    Q_EMIT ActionInvoked(id, actionKey);
}

void FakeNotificationServer::close(uint id, uint reason)
{
    Q_EMIT NotificationClosed(id, reason);
}

uint FakeNotificationServer::Notify(const QString &app_name, uint replaces_id, const QString &app_icon,
                                    const QString &summary, const QString &body, const QStringList &actions,
                                    const QVariantMap &hints, int expire_timeout)
{
    if (m_refuseNotify) {
        sendErrorReply(QDBusError::Failed, QStringLiteral("refused"));
        return 0;
    }
    const Call call{app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout, m_nextId++};
    calls.append(call);
    if (m_neverAnswer) {
        setDelayedReply(true);
    } else if (m_holdReplies) {
        setDelayedReply(true);
        m_heldReplies.append(message().createReply(QVariant::fromValue(call.id)));
    }
    Q_EMIT notifyCalled();
    return call.id;
}

void FakeNotificationServer::CloseNotification(uint id)
{
    Q_EMIT NotificationClosed(id, 3);
}

QStringList FakeNotificationServer::GetCapabilities()
{
    ++capabilityRequests;
    if (m_neverAnswer) {
        setDelayedReply(true);
        return {};
    }
    return m_capabilities;
}

QString FakeNotificationServer::GetServerInformation(QString &vendor, QString &version, QString &spec_version)
{
    vendor = QStringLiteral("Brevlin tests");
    version = QStringLiteral("1");
    spec_version = QStringLiteral("1.2");
    return QStringLiteral("fake");
}
