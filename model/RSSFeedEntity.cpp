#include "model/RSSFeed.h"

#include <algorithm>

#include "model/RSSItem.h"
#include "store/ObjectContext.h"

const EntityDescription &RSSFeed::entityDescription()
{
    static const EntityDescription entity = [] {
        EntityDescription description;
        description.table = QStringLiteral("RSSFeed");
        description.create = [](ObjectContext *context) -> std::unique_ptr<Record> {
            return std::make_unique<RSSFeed>(context);
        };
        description.attributes = {
            attribute("name", &RSSFeed::m_name, &RSSFeed::setName),
            attribute("url", &RSSFeed::m_url, &RSSFeed::setUrl),
            secret(attribute("login", &RSSFeed::m_login, &RSSFeed::setLogin)),
            // By key (the window, its undo) it reads as the password to send, wherever it is kept.
            secret(attribute("password", &RSSFeed::m_password, &RSSFeed::setPassword, &RSSFeed::password)),
            attribute("showInRecentList", &RSSFeed::m_showInRecentList, &RSSFeed::setShowInRecentList,
                      &RSSFeed::showInRecentList),
            attribute("errorMessage", &RSSFeed::m_errorMessage, &RSSFeed::setErrorMessage),
            // Mirrors the connection flag, which setDidConnect sets.
            attribute("didConnectString", &RSSFeed::m_didConnectString, nullptr),
            attribute("lastFetchDate", &RSSFeed::m_lastFetchDate, &RSSFeed::setLastFetchDate),
            attribute("link", &RSSFeed::m_link, &RSSFeed::setLink),
            attribute("generator", &RSSFeed::m_generator, &RSSFeed::setGenerator),
            // Only the server's answers set it.
            attribute("retryAfter", &RSSFeed::m_retryAfter, nullptr),
            attribute("notify", &RSSFeed::m_notify, &RSSFeed::setNotifies, &RSSFeed::notifies),
            attribute("interval", &RSSFeed::m_interval, &RSSFeed::setInterval),
            // Set by checks only; exports show the interval they lead to instead.
            hidden(attribute("hintedInterval", &RSSFeed::m_hintedInterval, nullptr)),
            hidden(attribute("skipTimes", &RSSFeed::m_skipTimes, nullptr)),
        };
        RelationshipDescription entries;
        entries.destination = &RSSItem::entityDescription;
        entries.attach = [](Record &source, std::unique_ptr<Record> &destination) {
            auto &feed = static_cast<RSSFeed &>(source);
            auto *entry = static_cast<RSSItem *>(destination.get());
            entry->m_feed = &feed;
            feed.m_feedEntries.append(entry);
            feed.historyOrderChanged();
        };
        entries.count = [](const Record &source) { return static_cast<const RSSFeed &>(source).m_feedEntries.size(); };
        entries.at = [](const Record &source, qsizetype index) -> Record * {
            return static_cast<const RSSFeed &>(source).m_feedEntries.at(index);
        };
        entries.clear = [](Record &source) {
            auto &feed = static_cast<RSSFeed &>(source);
            feed.m_feedEntries.clear();
            feed.historyOrderChanged();
        };
        description.relationships.push_back(std::move(entries));
        return description;
    }();
    return entity;
}

RSSFeed *RSSFeed::insert(ObjectContext *context)
{
    return static_cast<RSSFeed *>(context->insertObject(entityDescription()));
}

std::optional<QList<RSSFeed *>> RSSFeed::fetchFeeds(ObjectContext *context)
{
    const std::optional<QList<Record *>> records = context->fetchObjects(entityDescription());
    if (!records) {
        return std::nullopt;
    }
    QList<RSSFeed *> feeds;
    feeds.reserve(records->size());
    for (Record *record : *records) {
        feeds.append(static_cast<RSSFeed *>(record));
    }
    std::stable_sort(feeds.begin(), feeds.end(),
                     [](const RSSFeed *a, const RSSFeed *b) { return a->name() < b->name(); });
    return feeds;
}

void RSSFeed::prepareForDeletion()
{
    cancelDownload();
}

RSSFeed::~RSSFeed()
{
    cancelDownload();
}
