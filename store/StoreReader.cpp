#include "store/StoreReader.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlQuery>
#include <QTimeZone>

#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/SubLink.h"
#include "store/ObjectContext.h"

namespace StoreDates {

QVariant toStore(const std::optional<QDateTime> &date)
{
    return date ? QVariant(date->toMSecsSinceEpoch()) : QVariant(QMetaType::fromType<qlonglong>());
}

std::optional<QDateTime> fromStore(const SqliteStatement &statement, int column)
{
    if (statement.isNull(column)) {
        return std::nullopt;
    }
    return QDateTime::fromMSecsSinceEpoch(statement.integer(column), QTimeZone::utc());
}

} // namespace StoreDates

StoreReader::StoreReader(const QSqlDatabase &database)
    : m_database(database)
    , m_guidQuery(database, "SELECT 1 FROM RSSItem WHERE guid = ? LIMIT 1")
    , m_nullGuidQuery(database, "SELECT 1 FROM RSSItem WHERE guid IS NULL LIMIT 1")
    , m_textQuery(database, "SELECT text FROM RSSItemText WHERE item = ?")
{
}

StoreReader::~StoreReader()
{
    endReadTransaction();
}

bool StoreReader::finish(SqliteStatement &statement)
{
    if (statement.hasFailed()) {
        m_errorString = statement.errorString();
        return false;
    }
    return true;
}

bool StoreReader::loadFeeds(ObjectContext *context, std::vector<std::unique_ptr<RSSFeed>> &feeds,
                            QList<RSSItem *> &items)
{
    SqliteStatement query(m_database, "SELECT id, name, url, login, password, showInRecentList, errorMessage, "
                                      "didConnectString, lastFetchDate, link, generator FROM RSSFeed");
    QHash<qint64, RSSFeed *> feedsById;
    while (query.next()) {
        auto feed = std::make_unique<RSSFeed>(context);
        feed->m_rowId = query.integer(0);
        feed->m_state = Record::State::Saved;
        feed->m_name = query.optionalText(1);
        feed->m_url = query.optionalText(2);
        feed->m_login = query.optionalText(3);
        feed->m_password = query.optionalText(4);
        if (!query.isNull(5)) {
            feed->m_showInRecentList = query.integer(5) != 0;
        }
        feed->m_errorMessage = query.optionalText(6);
        feed->m_didConnectString = query.optionalText(7);
        feed->m_lastFetchDate = StoreDates::fromStore(query, 8);
        feed->m_link = query.optionalText(9);
        feed->m_generator = query.optionalText(10);
        feedsById.insert(feed->rowId(), feed.get());
        feeds.push_back(std::move(feed));
    }
    return finish(query) && loadItems(context, feedsById, items);
}

bool StoreReader::loadItems(ObjectContext *context, const QHash<qint64, RSSFeed *> &feedsById,
                            QList<RSSItem *> &items)
{
    SqliteStatement query(m_database, "SELECT id, feed, author, date, title, url, guid, cachedPath "
                                      "FROM RSSItem WHERE feed > 0");
    QHash<qint64, RSSItem *> itemsById;
    while (query.next()) {
        RSSFeed *feed = feedsById.value(query.integer(1));
        if (!feed) {
            continue;
        }
        auto *item = new RSSItem(context);
        item->m_rowId = query.integer(0);
        item->m_state = Record::State::Saved;
        item->m_author = query.optionalText(2);
        item->m_date = StoreDates::fromStore(query, 3);
        item->m_title = query.optionalText(4);
        item->m_url = query.optionalText(5);
        item->m_guid = query.optionalText(6);
        item->m_cachedPath = query.optionalText(7);
        item->m_textLoaded = false;
        item->m_feed = feed;
        feed->m_feedEntries.append(item);
        items.append(item);
        itemsById.insert(item->rowId(), item);
    }
    return finish(query) && loadSubLinks(context, itemsById);
}

bool StoreReader::loadSubLinks(ObjectContext *context, const QHash<qint64, RSSItem *> &itemsById)
{
    SqliteStatement query(m_database, "SELECT SubLink.id, SubLink.item, SubLink.link, SubLink.text FROM SubLink "
                                      "JOIN RSSItem ON RSSItem.id = SubLink.item WHERE RSSItem.feed > 0 "
                                      "ORDER BY SubLink.id");
    while (query.next()) {
        RSSItem *item = itemsById.value(query.integer(1));
        if (!item) {
            continue;
        }
        auto subLink = std::make_unique<SubLink>(context);
        subLink->m_rowId = query.integer(0);
        subLink->m_state = Record::State::Saved;
        subLink->m_link = query.optionalText(2);
        subLink->m_text = query.optionalText(3);
        subLink->m_owner = item;
        item->m_subLinks.push_back(std::move(subLink));
    }
    return finish(query);
}

void StoreReader::beginReadTransaction()
{
    if (m_inReadTransaction) {
        return;
    }
    // Outside a transaction SQLite takes and drops its file lock for every statement,
    // which costs more than the lookup itself; the lookups of one parse share one lock.
    m_inReadTransaction = QSqlQuery(m_database).exec(QStringLiteral("BEGIN"));
    if (m_inReadTransaction) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [this, guard = std::weak_ptr<int>(m_alive)] {
                if (!guard.expired()) {
                    endReadTransaction();
                }
            },
            Qt::QueuedConnection);
    }
}

void StoreReader::endReadTransaction()
{
    if (m_inReadTransaction) {
        m_inReadTransaction = false;
        QSqlQuery(m_database).exec(QStringLiteral("COMMIT"));
    }
}

std::optional<QString> StoreReader::loadText(qint64 itemRowId)
{
    beginReadTransaction();
    m_textQuery.bind(1, itemRowId);
    std::optional<QString> text;
    if (m_textQuery.next()) {
        text = m_textQuery.optionalText(0);
    }
    m_textQuery.reset();
    return text;
}

bool StoreReader::hasItemWithGuid(const std::optional<QString> &guid)
{
    beginReadTransaction();
    SqliteStatement &query = guid ? m_guidQuery : m_nullGuidQuery;
    if (guid) {
        query.bind(1, *guid);
    }
    const bool found = query.next();
    if (!found && !finish(query)) {
        // A failing lookup counts as "not stored"; the entry is then kept rather than lost.
        qWarning("%s", qPrintable(m_errorString));
    }
    query.reset();
    return found;
}
