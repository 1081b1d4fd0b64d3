#include "platform/NotificationCenter.h"

NotificationCenter *NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return &center;
}

void NotificationCenter::addObserver(QObject *observer, const QString &name, Handler handler)
{
    const bool known = std::any_of(m_observers.cbegin(), m_observers.cend(),
                                   [observer](const Observer &entry) { return entry.object == observer; });
    if (!known) {
        connect(observer, &QObject::destroyed, this, [this, observer] { removeObserver(observer); });
    }
    m_observers.append({observer, name, std::move(handler)});
}

void NotificationCenter::removeObserver(QObject *observer)
{
    m_observers.removeIf([observer](const Observer &entry) { return entry.object == observer || !entry.object; });
}

void NotificationCenter::postNotificationName(const QString &name, const QVariantMap &userInfo)
{
    // Observers may add or remove observers while they run; deliver to those
    // registered when the notification was posted and still alive.
    const QList<Observer> observers = m_observers;
    for (const Observer &observer : observers) {
        if (observer.name == name && observer.object) {
            observer.handler(userInfo);
        }
    }
    Q_EMIT posted(name, userInfo);
}
