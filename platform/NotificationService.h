#pragma once

#include <QObject>
#include <QString>

// The desktop's notification service: posts notifications and reports, by click context,
// what the user did with them. Posting is asynchronous and never blocks the caller.
class NotificationService : public QObject
{
    Q_OBJECT
public:
    // One notification as the program posts it.
    struct Notification
    {
        QString applicationName;
        // The notification name the entry was filed under.
        QString name;
        QString title;
        QString body;
        bool sticky = false;
        // Identifies the notification in every report about it.
        QString clickContext;
    };

    using QObject::QObject;

    virtual void notify(const Notification &notification) = 0;

    // Whether a server is known to be running now.
    virtual bool isAvailable() const = 0;
    // What the current server announced; false while that is not known yet.
    virtual bool supportsActions() const = 0;
    virtual bool supportsBodyMarkup() const = 0;
    // Whether posts are still on their way to the server: a process about to exit waits
    // for them, or they are lost. Each post is delivered or dropped within a few seconds,
    // however long the server takes.
    virtual bool hasPostsInFlight() const = 0;

Q_SIGNALS:
    // The user clicked the notification.
    void actionInvoked(const QString &clickContext);
    // The notification went away without a click reported before it: it expired, or the user
    // or the server dismissed it.
    void notificationClosed(const QString &clickContext);
    // The notification will report nothing: the post found no server or was refused, or the
    // server that showed it went away.
    void notificationDropped(const QString &clickContext);
    void serviceAppeared();
    void serviceVanished();
};
