#pragma once

#include <QList>

class RSSFeed;

// What the notification bridge asks of the object that owns it (the controller).
class NotificationBridgeHost
{
public:
    virtual ~NotificationBridgeHost() = default;

    // Every stored feed, ascending by name; empty when they cannot be fetched.
    virtual QList<RSSFeed *> rssFeeds() = 0;
    // Whether the next notification should stay until the user dismisses it.
    virtual bool pinGrowlNotification() = 0;
};
