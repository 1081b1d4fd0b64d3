#include "platform/dbus/DBusIdleTimeProvider.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

// The caller waits for the answer while it posts a notification, so a service that hangs
// must not hold it for the bus's default 25 seconds.
constexpr int callTimeoutMs = 500;

} // namespace

std::unique_ptr<IdleTimeProvider> DBusIdleTimeProvider::mutterIdleMonitor()
{
    return std::unique_ptr<IdleTimeProvider>(new DBusIdleTimeProvider(
        QStringLiteral("org.gnome.Mutter.IdleMonitor"), QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"),
        QStringLiteral("org.gnome.Mutter.IdleMonitor"), QStringLiteral("GetIdletime"), 1000000));
}

std::unique_ptr<IdleTimeProvider> DBusIdleTimeProvider::freedesktopScreenSaver()
{
    return std::unique_ptr<IdleTimeProvider>(new DBusIdleTimeProvider(
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("GetSessionIdleTime"), 1000000000));
}

DBusIdleTimeProvider::DBusIdleTimeProvider(const QString &service, const QString &path, const QString &interface,
                                           const QString &method, qint64 nanosecondsPerUnit)
    : m_service(service)
    , m_path(path)
    , m_interface(interface)
    , m_method(method)
    , m_nanosecondsPerUnit(nanosecondsPerUnit)
{
}

bool DBusIdleTimeProvider::isAvailable()
{
    const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(m_service).value();
}

std::optional<QVariant> DBusIdleTimeProvider::idleTime()
{
    const QDBusMessage call = QDBusMessage::createMethodCall(m_service, m_path, m_interface, m_method);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    bool ok = false;
    const qlonglong units = reply.arguments().constFirst().toLongLong(&ok);
    if (!ok) {
        return QVariant();
    }
    // Handed on as the 8 bytes of the nanosecond count, the form a data value takes.
    const qint64 nanoseconds = units * m_nanosecondsPerUnit;
    return QVariant(QByteArray(reinterpret_cast<const char *>(&nanoseconds), sizeof nanoseconds));
}
