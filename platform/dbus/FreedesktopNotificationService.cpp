#include "platform/dbus/FreedesktopNotificationService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>

#include "NotificationsProxy.h"
#include "platform/PlatformLog.h"

namespace {

const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");
// The action a server invokes when the notification itself is clicked.
const QString defaultAction = QStringLiteral("default");
// The application's icon as installed in the icon theme, and its desktop file's name.
const QString applicationIcon = QStringLiteral("rss-brevlin");
const QString desktopEntry = QStringLiteral("rss-brevlin");
// 0 keeps the notification until the user dismisses it; -1 leaves the time to the server.
constexpr int stickyTimeout = 0;
constexpr int serverTimeout = -1;
constexpr uchar normalUrgency = 1;
// A server that takes longer than this to answer is stuck (one flooded by a burst stays so for
// tens of seconds); the bus's own 25 s would hold a check that waits for its posts. A post it
// did not answer in time is dropped.
constexpr int callTimeoutMs = 3000;

// A server with body markup reads the body as a subset of HTML, where a bare "&" or "<"
// would be taken for markup; without it the text is shown as it is.
QString markupEscaped(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&') {
            escaped += QStringLiteral("&amp;");
        } else if (c == u'<') {
            escaped += QStringLiteral("&lt;");
        } else if (c == u'>') {
            escaped += QStringLiteral("&gt;");
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace

FreedesktopNotificationService::FreedesktopNotificationService(QObject *parent)
    : NotificationService(parent)
    , m_proxy(new OrgFreedesktopNotificationsInterface(serviceName, objectPath, QDBusConnection::sessionBus(), this))
    , m_watcher(new QDBusServiceWatcher(serviceName, QDBusConnection::sessionBus(),
                                        QDBusServiceWatcher::WatchForOwnerChange, this))
{
    m_proxy->setTimeout(callTimeoutMs);
    if (QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface()) {
        const QDBusReply<QString> owner = bus->serviceOwner(serviceName);
        if (owner.isValid()) {
            m_owner = owner.value();
        }
    }
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &FreedesktopNotificationService::onOwnerChanged);
    connect(m_proxy, &OrgFreedesktopNotificationsInterface::ActionInvoked, this,
            &FreedesktopNotificationService::onActionInvoked);
    connect(m_proxy, &OrgFreedesktopNotificationsInterface::NotificationClosed, this,
            &FreedesktopNotificationService::onNotificationClosed);
}

FreedesktopNotificationService::~FreedesktopNotificationService() = default;

bool FreedesktopNotificationService::supportsActions() const
{
    return m_capabilities && m_capabilities->contains(QStringLiteral("actions"));
}

bool FreedesktopNotificationService::supportsBodyMarkup() const
{
    return m_capabilities && m_capabilities->contains(QStringLiteral("body-markup"));
}

void FreedesktopNotificationService::notify(const Notification &notification)
{
    // The call goes out even when no owner is known: the bus may start an activatable server.
    if (m_capabilities) {
        send(notification);
        return;
    }
    m_queue.append(notification);
    if (!m_capabilitiesPending) {
        requestCapabilities();
    }
}

void FreedesktopNotificationService::requestCapabilities()
{
    m_capabilitiesPending = true;
    auto *call = new QDBusPendingCallWatcher(m_proxy->GetCapabilities(), this);
    const quint64 generation = m_generation;
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher *finished) { onCapabilitiesFinished(finished, generation); });
}

void FreedesktopNotificationService::onCapabilitiesFinished(QDBusPendingCallWatcher *call, quint64 generation)
{
    call->deleteLater();
    if (generation != m_generation) {
        return;
    }
    m_capabilitiesPending = false;
    const QDBusPendingReply<QStringList> reply = *call;
    if (reply.isError()) {
        if (reply.error().type() == QDBusError::NoReply) {
            qCWarning(lcPlatform, "The notification server did not answer within %d ms; %lld notifications are dropped",
                      callTimeoutMs, qlonglong(m_queue.size()));
        } else {
            qCInfo(lcPlatform) << "No notification server:" << reply.error().message();
        }
        dropQueue();
        return;
    }
    m_capabilities = reply.value();
    const QList<Notification> queued = std::exchange(m_queue, {});
    for (const Notification &notification : queued) {
        send(notification);
    }
}

void FreedesktopNotificationService::send(const Notification &notification)
{
    const QString body = supportsBodyMarkup() ? markupEscaped(notification.body) : notification.body;
    QStringList actions;
    if (supportsActions()) {
        actions << defaultAction << tr("Open");
    }
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), desktopEntry},
        {QStringLiteral("urgency"), QVariant::fromValue(normalUrgency)},
        {QStringLiteral("x-rss-brevlin-notification-name"), notification.name},
    };
    auto *call = new QDBusPendingCallWatcher(m_proxy->Notify(notification.applicationName, 0, applicationIcon,
                                                             notification.title, body, actions, hints,
                                                             notification.sticky ? stickyTimeout : serverTimeout),
                                             this);
    ++m_pendingNotifies;
    const quint64 generation = m_generation;
    const QString clickContext = notification.clickContext;
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, generation, clickContext](QDBusPendingCallWatcher *finished) {
                onNotifyFinished(finished, generation, clickContext);
            });
}

void FreedesktopNotificationService::onNotifyFinished(QDBusPendingCallWatcher *call, quint64 generation,
                                                      const QString &clickContext)
{
    call->deleteLater();
    if (generation != m_generation) {
        Q_EMIT notificationDropped(clickContext);
        return;
    }
    --m_pendingNotifies;
    const QList<ServerEvent> waiting = m_unmatched;
    if (m_pendingNotifies == 0) {
        m_unmatched.clear();
    }
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError()) {
        if (reply.error().type() == QDBusError::NoReply) {
            qCWarning(lcPlatform, "The notification server did not answer within %d ms; a notification is dropped",
                      callTimeoutMs);
        } else {
            qCWarning(lcPlatform) << "The notification server refused a notification:" << reply.error().message();
        }
        Q_EMIT notificationDropped(clickContext);
        return;
    }
    const uint id = reply.value();
    m_contextById.insert(id, clickContext);
    m_unmatched.removeIf([id](const ServerEvent &event) { return event.id == id; });
    // What the server said about this id before its reply came, in the order it said it.
    for (const ServerEvent &event : waiting) {
        if (event.id == id) {
            handle(event);
        }
    }
}

void FreedesktopNotificationService::onActionInvoked(uint id, const QString &actionKey)
{
    handle({id, false, actionKey});
}

void FreedesktopNotificationService::onNotificationClosed(uint id, uint)
{
    handle({id, true, QString()});
}

void FreedesktopNotificationService::handle(const ServerEvent &event)
{
    const auto found = m_contextById.constFind(event.id);
    if (found == m_contextById.cend()) {
        // Every client hears these signals; only an id whose Notify reply is outstanding may still be ours.
        if (m_pendingNotifies > 0) {
            m_unmatched.append(event);
        }
        return;
    }
    const QString clickContext = *found;
    if (event.closed) {
        m_contextById.erase(found);
        Q_EMIT notificationClosed(clickContext);
    } else if (event.actionKey == defaultAction) {
        Q_EMIT actionInvoked(clickContext);
    }
}

void FreedesktopNotificationService::onOwnerChanged(const QString &, const QString &, const QString &newOwner)
{
    ++m_generation;
    m_owner = newOwner;
    m_capabilities.reset();
    m_capabilitiesPending = false;
    m_pendingNotifies = 0;
    m_unmatched.clear();
    const QHash<uint, QString> forgotten = std::exchange(m_contextById, {});
    for (const QString &clickContext : forgotten) {
        Q_EMIT notificationDropped(clickContext);
    }
    if (newOwner.isEmpty()) {
        dropQueue();
        Q_EMIT serviceVanished();
        return;
    }
    Q_EMIT serviceAppeared();
    if (!m_queue.isEmpty()) {
        requestCapabilities();
    }
}

void FreedesktopNotificationService::dropQueue()
{
    const QList<Notification> dropped = std::exchange(m_queue, {});
    for (const Notification &notification : dropped) {
        Q_EMIT notificationDropped(notification.clickContext);
    }
}
