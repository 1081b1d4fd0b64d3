#pragma once

#include <QObject>

class ObjectContext;
class RSSFeed;
class RSSItem;

// What the feeds and entries of one object context tell the rest of the program, as it happens:
// the menu shows something old, an entry is new, a feed has another name. Every receiver has
// run before the sender goes on.
class FeedEvents : public QObject
{
    Q_OBJECT
    Q_MOC_INCLUDE("model/RSSFeed.h")
public:
    // The context's own, made on first use and owned by the context: a record reaches it through
    // its context, and so does whoever was given the context.
    static FeedEvents *of(ObjectContext *context);

Q_SIGNALS:
    // What the menu shows changed: a feed's name, its entries, its error, a cached page.
    void updateMenus();
    // A new entry to announce (the first document of a feed brings none).
    void newRssItem(RSSItem *item);
    void feedNameChanged(RSSFeed *feed);
    // The feed's document was parsed; every newRssItem of its new entries came before.
    void documentParsed(RSSFeed *feed);
    // The feed's own check interval changed.
    void checkIntervalChanged(RSSFeed *feed);

private:
    explicit FeedEvents(ObjectContext *context);
};
