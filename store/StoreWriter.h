#pragma once

#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include "store/SqliteStatement.h"

#include <vector>

class Record;
class RSSFeed;
class RSSItem;
class SubLink;

// Writes the pending changes of the context in one transaction. Row ids given to new
// records are held back until the caller has seen the commit succeed, so a failed save
// leaves every record exactly as it was.
class StoreWriter
{
public:
    explicit StoreWriter(const QSqlDatabase &database);

    bool write(const QSet<Record *> &changed, const std::vector<RSSFeed *> &deletedFeeds);
    void applyRowIds();
    QString errorString() const { return m_errorString; }

private:
    bool deleteFeed(const RSSFeed *feed);
    bool writeFeed(RSSFeed *feed);
    bool writeItem(RSSItem *item);
    bool writeSubLink(SubLink *subLink, qint64 itemRowId);
    qint64 rowIdOf(Record *record) const;
    bool exec(QSqlQuery &query);

    QSqlDatabase m_database;
    QSqlQuery m_insertFeed;
    QSqlQuery m_updateFeed;
    QSqlQuery m_insertItem;
    QSqlQuery m_updateItem;
    SqliteStatement m_insertText;
    QSqlQuery m_insertSubLink;
    QHash<Record *, qint64> m_newRowIds;
    QString m_errorString;
};
