#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include <functional>

// The in-process notifications the records and the controller exchange. Delivery is
// synchronous: every observer has run before the poster continues.
namespace Notifications {
inline const QString updateMenus = QStringLiteral("updateMenus");
inline const QString newRssItem = QStringLiteral("newRssItem");
inline const QString feedNameChanged = QStringLiteral("feedNameChanged");
// A feed's document was parsed; every "newRssItem" of its new entries came before.
inline const QString documentParsed = QStringLiteral("documentParsed");
// A feed's own check interval changed.
inline const QString checkIntervalChanged = QStringLiteral("checkIntervalChanged");
// The user-info key of "newRssItem", holding the new entry.
inline const QString rssItemKey = QStringLiteral("RSSItem");
} // namespace Notifications

// The process's default notification centre. Observers are removed when they are
// destroyed, so a notification never reaches a dead object.
class NotificationCenter : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(const QVariantMap &userInfo)>;

    static NotificationCenter *defaultCenter();

    void addObserver(QObject *observer, const QString &name, Handler handler);
    void removeObserver(QObject *observer);
    void postNotificationName(const QString &name, const QVariantMap &userInfo = {});

Q_SIGNALS:
    // Every posted notification, after its observers ran; tests count these.
    void posted(const QString &name, const QVariantMap &userInfo);

private:
    struct Observer
    {
        QPointer<QObject> object;
        QString name;
        Handler handler;
    };
    QList<Observer> m_observers;
};
