#pragma once

#include <QObject>
#include <QStringList>

#include "model/FeedEvents.h"
#include "store/ObjectContext.h"

namespace TestSupport {

// Every event the feeds and entries of one context send while the log lives, in order, by the
// signal's name; the entries newRssItem announced beside.
class FeedEventLog
{
public:
    explicit FeedEventLog(ObjectContext *context)
    {
        FeedEvents *events = FeedEvents::of(context);
        const auto record = [this](const char *name) { return [this, name] { names.append(QLatin1String(name)); }; };
        QObject::connect(events, &FeedEvents::updateMenus, &m_receiver, record("updateMenus"));
        QObject::connect(events, &FeedEvents::feedNameChanged, &m_receiver, record("feedNameChanged"));
        QObject::connect(events, &FeedEvents::documentParsed, &m_receiver, record("documentParsed"));
        QObject::connect(events, &FeedEvents::checkIntervalChanged, &m_receiver, record("checkIntervalChanged"));
        QObject::connect(events, &FeedEvents::newRssItem, &m_receiver, [this](RSSItem *item) {
            names.append(QStringLiteral("newRssItem"));
            announced.append(item);
        });
    }

    qsizetype count(const QString &name) const { return names.count(name); }

    QStringList names;
    QList<RSSItem *> announced;

private:
    QObject m_receiver;
};

} // namespace TestSupport
