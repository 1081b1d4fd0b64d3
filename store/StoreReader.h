#pragma once

#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

#include "store/SqliteStatement.h"

class ObjectContext;
class RSSFeed;
class RSSItem;

// Reads records from the store: the feeds with their histories (without the long
// entry texts), a single entry's text on demand, and the identifier lookup.
class StoreReader
{
public:
    explicit StoreReader(const QSqlDatabase &database);
    ~StoreReader();

    bool loadFeeds(ObjectContext *context, std::vector<std::unique_ptr<RSSFeed>> &feeds, QList<RSSItem *> &items);
    std::optional<QString> loadText(qint64 itemRowId);
    bool hasItemWithGuid(const std::optional<QString> &guid);
    QString errorString() const { return m_errorString; }
    // Ends the read transaction that lookups of this event-loop turn share; a save must
    // call it first.
    void endReadTransaction();

private:
    void beginReadTransaction();
    bool loadItems(ObjectContext *context, const QHash<qint64, RSSFeed *> &feedsById, QList<RSSItem *> &items);
    bool loadSubLinks(ObjectContext *context, const QHash<qint64, RSSItem *> &itemsById);
    bool finish(SqliteStatement &statement);

    QSqlDatabase m_database;
    SqliteStatement m_guidQuery;
    SqliteStatement m_nullGuidQuery;
    SqliteStatement m_textQuery;
    QString m_errorString;
    bool m_inReadTransaction = false;
    std::shared_ptr<int> m_alive = std::make_shared<int>();
};

// Dates are stored as milliseconds since the epoch, UTC.
namespace StoreDates {
QVariant toStore(const std::optional<QDateTime> &date);
std::optional<QDateTime> fromStore(const SqliteStatement &statement, int column);
}
