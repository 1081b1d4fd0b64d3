#include "store/StoreWriter.h"

#include <QSqlError>

#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/SubLink.h"
#include "store/StoreReader.h"

namespace {

const QString feedColumns = QStringLiteral(
    "name, url, login, password, showInRecentList, errorMessage, didConnectString, lastFetchDate, link, generator");

QVariant nullable(const std::optional<QString> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<QString>());
}

} // namespace

StoreWriter::StoreWriter(const QSqlDatabase &database)
    : m_database(database)
    , m_insertFeed(database)
    , m_updateFeed(database)
    , m_insertItem(database)
    , m_updateItem(database)
    , m_insertText(database, "INSERT INTO RSSItemText (item, text) VALUES (?, ?)")
    , m_insertSubLink(database)
{
    m_insertFeed.prepare(QStringLiteral("INSERT INTO RSSFeed (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                             .arg(feedColumns));
    m_updateFeed.prepare(QStringLiteral("UPDATE RSSFeed SET name = ?, url = ?, login = ?, password = ?, "
                                        "showInRecentList = ?, errorMessage = ?, didConnectString = ?, "
                                        "lastFetchDate = ?, link = ?, generator = ? WHERE id = ?"));
    m_insertItem.prepare(QStringLiteral("INSERT INTO RSSItem (feed, author, date, title, url, guid, cachedPath) "
                                        "VALUES (?, ?, ?, ?, ?, ?, ?)"));
    m_updateItem.prepare(QStringLiteral("UPDATE RSSItem SET feed = ?, author = ?, date = ?, title = ?, url = ?, "
                                        "guid = ?, cachedPath = ? WHERE id = ?"));
    m_insertSubLink.prepare(QStringLiteral("INSERT INTO SubLink (item, link, text) VALUES (?, ?, ?)"));
}

bool StoreWriter::exec(QSqlQuery &query)
{
    if (!query.exec()) {
        m_errorString = query.lastError().text();
        return false;
    }
    return true;
}

qint64 StoreWriter::rowIdOf(Record *record) const
{
    return record->rowId() != 0 ? record->rowId() : m_newRowIds.value(record);
}

bool StoreWriter::write(const QSet<Record *> &changed, const std::vector<RSSFeed *> &deletedFeeds)
{
    if (!m_database.transaction()) {
        m_errorString = m_database.lastError().text();
        return false;
    }
    bool ok = true;
    // Feeds first, so that new entries can refer to the row ids of new feeds.
    for (Record *record : changed) {
        if (ok && record->entity() == Record::Entity::Feed) {
            ok = writeFeed(static_cast<RSSFeed *>(record));
        }
    }
    for (Record *record : changed) {
        if (ok && record->entity() == Record::Entity::Item) {
            ok = writeItem(static_cast<RSSItem *>(record));
        }
    }
    for (const RSSFeed *feed : deletedFeeds) {
        ok = ok && deleteFeed(feed);
    }
    if (ok && !m_database.commit()) {
        m_errorString = m_database.lastError().text();
        ok = false;
    }
    if (!ok) {
        m_database.rollback();
        m_newRowIds.clear();
    }
    return ok;
}

bool StoreWriter::deleteFeed(const RSSFeed *feed)
{
    if (feed->rowId() == 0) {
        return true;
    }
    QSqlQuery query(m_database);
    for (const char *sql : {"DELETE FROM SubLink WHERE item IN (SELECT id FROM RSSItem WHERE feed = ?)",
                            "DELETE FROM RSSItemText WHERE item IN (SELECT id FROM RSSItem WHERE feed = ?)",
                            "DELETE FROM RSSItem WHERE feed = ?", "DELETE FROM RSSFeed WHERE id = ?"}) {
        query.prepare(QString::fromLatin1(sql));
        query.addBindValue(feed->rowId());
        if (!exec(query)) {
            return false;
        }
    }
    return true;
}

bool StoreWriter::writeFeed(RSSFeed *feed)
{
    QSqlQuery &query = feed->rowId() == 0 ? m_insertFeed : m_updateFeed;
    query.addBindValue(nullable(feed->m_name));
    query.addBindValue(nullable(feed->m_url));
    query.addBindValue(nullable(feed->m_login));
    query.addBindValue(nullable(feed->m_password));
    query.addBindValue(feed->m_showInRecentList ? QVariant(int(*feed->m_showInRecentList))
                                                : QVariant(QMetaType::fromType<int>()));
    query.addBindValue(nullable(feed->m_errorMessage));
    query.addBindValue(nullable(feed->m_didConnectString));
    query.addBindValue(StoreDates::toStore(feed->m_lastFetchDate));
    query.addBindValue(nullable(feed->m_link));
    query.addBindValue(nullable(feed->m_generator));
    if (feed->rowId() != 0) {
        query.addBindValue(feed->rowId());
    }
    if (!exec(query)) {
        return false;
    }
    if (feed->rowId() == 0) {
        m_newRowIds.insert(feed, query.lastInsertId().toLongLong());
    }
    return true;
}

bool StoreWriter::writeItem(RSSItem *item)
{
    const bool inserting = item->rowId() == 0;
    QSqlQuery &query = inserting ? m_insertItem : m_updateItem;
    query.addBindValue(item->m_feed ? QVariant(rowIdOf(item->m_feed)) : QVariant(QMetaType::fromType<qlonglong>()));
    query.addBindValue(nullable(item->m_author));
    query.addBindValue(StoreDates::toStore(item->m_date));
    query.addBindValue(nullable(item->m_title));
    query.addBindValue(nullable(item->m_url));
    query.addBindValue(nullable(item->m_guid));
    query.addBindValue(nullable(item->m_cachedPath));
    if (!inserting) {
        query.addBindValue(item->rowId());
    }
    if (!exec(query)) {
        return false;
    }
    if (!inserting) {
        return true;
    }
    const qint64 rowId = query.lastInsertId().toLongLong();
    m_newRowIds.insert(item, rowId);
    m_insertText.bind(1, rowId);
    if (item->m_text) {
        m_insertText.bindUtf8(2, *item->m_text);
    } else {
        m_insertText.bindNull(2);
    }
    if (!m_insertText.exec()) {
        m_errorString = m_insertText.errorString();
        return false;
    }
    for (const auto &subLink : item->m_subLinks) {
        if (!writeSubLink(subLink.get(), rowId)) {
            return false;
        }
    }
    return true;
}

bool StoreWriter::writeSubLink(SubLink *subLink, qint64 itemRowId)
{
    m_insertSubLink.addBindValue(itemRowId);
    m_insertSubLink.addBindValue(nullable(subLink->link()));
    m_insertSubLink.addBindValue(nullable(subLink->text()));
    if (!exec(m_insertSubLink)) {
        return false;
    }
    m_newRowIds.insert(subLink, m_insertSubLink.lastInsertId().toLongLong());
    return true;
}

void StoreWriter::applyRowIds()
{
    for (auto it = m_newRowIds.cbegin(); it != m_newRowIds.cend(); ++it) {
        it.key()->m_rowId = it.value();
        it.key()->m_state = Record::State::Saved;
    }
    m_newRowIds.clear();
}
