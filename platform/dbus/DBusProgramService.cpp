#include "platform/dbus/DBusProgramService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "platform/PlatformLog.h"

const QString DBusProgramService::serviceName = QStringLiteral("org.rssbrevlin.RssBrevlin");
const QString DBusProgramService::objectPath = QStringLiteral("/RssBrevlin");

DBusProgramService::~DBusProgramService()
{
    if (m_registered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(objectPath);
        bus.unregisterService(serviceName);
    }
}

bool DBusProgramService::registerProgram()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcPlatform, "DBusProgramService: no session bus");
        return false;
    }
    // The object first, so that whoever sees the name can call it at once.
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots)) {
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        serviceName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    m_registered = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    if (!m_registered) {
        bus.unregisterObject(objectPath);
    }
    return m_registered;
}

void DBusProgramService::ShowSubscriptions()
{
    Q_EMIT showSubscriptionsRequested();
}
