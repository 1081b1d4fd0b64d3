#include "app/StoreJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/SubLink.h"

namespace {

QJsonValue text(const std::optional<QString> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue date(const std::optional<QDateTime> &value)
{
    if (!value || !value->isValid()) {
        return QJsonValue::Null;
    }
    const QDateTime utc = value->toUTC();
    // Milliseconds only where the store has them, so that ordinary dates read as they were written.
    return utc.toString(utc.time().msec() == 0 ? Qt::ISODate : Qt::ISODateWithMs);
}

QJsonObject entryObject(const RSSItem *item)
{
    QJsonArray subLinks;
    for (const auto &subLink : item->subLinks()) {
        subLinks.append(QJsonObject{{QStringLiteral("link"), text(subLink->link())},
                                    {QStringLiteral("text"), text(subLink->text())}});
    }
    return {
        {QStringLiteral("title"), text(item->title())},
        {QStringLiteral("author"), text(item->author())},
        {QStringLiteral("date"), date(item->date())},
        {QStringLiteral("url"), text(item->url())},
        {QStringLiteral("guid"), text(item->guid())},
        {QStringLiteral("text"), text(item->text())},
        {QStringLiteral("cachedPath"), text(item->cachedPath())},
        {QStringLiteral("subLinks"), subLinks},
    };
}

QJsonObject feedObject(const RSSFeed *feed)
{
    QList<RSSItem *> entries = feed->feedEntries();
    std::stable_sort(entries.begin(), entries.end(),
                     [](const RSSItem *a, const RSSItem *b) { return a->dateCompare(*b) < 0; });
    QJsonArray entryArray;
    for (const RSSItem *item : entries) {
        entryArray.append(entryObject(item));
    }
    // The connection flag itself lives only in memory; its stored mirror tells what the
    // last check found, and null says no check has finished yet.
    const std::optional<QString> connected = feed->didConnectString();
    return {
        {QStringLiteral("name"), text(feed->name())},
        {QStringLiteral("url"), text(feed->url())},
        {QStringLiteral("link"), text(feed->link())},
        {QStringLiteral("generator"), text(feed->generator())},
        {QStringLiteral("lastFetchDate"), date(feed->lastFetchDate())},
        {QStringLiteral("errorMessage"), text(feed->errorMessage())},
        {QStringLiteral("didConnect"),
         connected ? QJsonValue(*connected == QLatin1String("Yes")) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("showInRecentList"), feed->showInRecentList()},
        {QStringLiteral("entries"), entryArray},
    };
}

} // namespace

namespace StoreJson {

QByteArray dump(const QList<RSSFeed *> &feeds)
{
    QJsonArray feedArray;
    for (const RSSFeed *feed : feeds) {
        feedArray.append(feedObject(feed));
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("feeds"), feedArray}}).toJson(QJsonDocument::Indented);
}

} // namespace StoreJson
