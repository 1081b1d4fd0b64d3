#include "app/StoreJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>

#include "controller/RSSBrevlinController.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/SubLink.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"

namespace {

QJsonValue date(const QVariant &value)
{
    const QDateTime date = value.toDateTime();
    if (!value.isValid() || !date.isValid()) {
        return QJsonValue::Null;
    }
    const QDateTime utc = date.toUTC();
    // Milliseconds only where the store has them, so that ordinary dates read as they were written.
    return utc.toString(utc.time().msec() == 0 ? Qt::ISODate : Qt::ISODateWithMs);
}

QJsonValue jsonValue(const AttributeDescription &attribute, const Record &record)
{
    const QVariant value = attribute.value(record);
    switch (attribute.type) {
    case AttributeType::Date:
        return date(value);
    case AttributeType::Bool:
        return value.toBool();
    case AttributeType::Integer:
        return value.isValid() ? QJsonValue(value.toLongLong()) : QJsonValue(QJsonValue::Null);
    case AttributeType::String:
    case AttributeType::Utf8Text:
        break;
    }
    return value.isValid() ? QJsonValue(value.toString()) : QJsonValue(QJsonValue::Null);
}

// Every stored attribute of the record but the secret ones.
QJsonObject attributesObject(const Record &record)
{
    QJsonObject object;
    for (const AttributeDescription &attribute : record.entity().attributes) {
        if (!attribute.secret && !attribute.hidden) {
            object.insert(attribute.key, jsonValue(attribute, record));
        }
    }
    return object;
}

QJsonObject entryObject(const RSSItem *item)
{
    QJsonArray subLinks;
    for (const auto &subLink : item->subLinks()) {
        subLinks.append(attributesObject(*subLink));
    }
    QJsonObject object = attributesObject(*item);
    object.insert(QStringLiteral("subLinks"), subLinks);
    return object;
}

QJsonObject feedObject(const RSSFeed *feed, std::chrono::milliseconds globalInterval)
{
    QJsonArray entryArray;
    feed->fireEntryFaults();
    for (const RSSItem *item : RSSItem::newestFirst(feed->feedEntries())) {
        entryArray.append(entryObject(item));
    }
    QJsonObject object = attributesObject(*feed);
    // The connection flag itself lives only in memory; its stored mirror tells what the
    // last check found, and null says no check has finished yet.
    object.remove(QStringLiteral("didConnectString"));
    const std::optional<QString> connected = feed->didConnectString();
    object.insert(QStringLiteral("didConnect"),
                  connected ? QJsonValue(*connected == QLatin1String("Yes")) : QJsonValue(QJsonValue::Null));
    // Seconds, in a fraction where the global interval has one.
    object.insert(QStringLiteral("checkEvery"), double(feed->checkEvery(globalInterval).length.count()) / 1000.0);
    object.insert(QStringLiteral("entries"), entryArray);
    return object;
}

} // namespace

namespace StoreJson {

void dump(const QList<RSSFeed *> &feeds, QTextStream &out)
{
    const std::chrono::milliseconds globalInterval = RSSBrevlinController::checkIntervalFor(
        UserDefaults::standardUserDefaults()->doubleForKey(Preferences::checkInterval));
    // Laid out as Qt lays out the whole document, {"feeds": [...]} with four spaces a level: each
    // feed's object is indented to its depth, two levels in. JSON strings hold no line breaks.
    const QByteArray feedIndent(8, ' ');
    out << "{\n    \"feeds\": [\n";
    for (qsizetype index = 0; index < feeds.size(); ++index) {
        QByteArray json = QJsonDocument(feedObject(feeds.at(index), globalInterval)).toJson(QJsonDocument::Indented);
        json.chop(1);
        json.replace('\n', '\n' + feedIndent);
        out << feedIndent << QString::fromUtf8(json) << (index + 1 < feeds.size() ? ",\n" : "\n");
    }
    out << "    ]\n}\n";
}

} // namespace StoreJson
