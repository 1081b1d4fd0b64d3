#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QString>

#include <memory>
#include <unordered_map>

#include "store/SqliteStatement.h"

class Record;
struct EntityDescription;

// Writes the pending changes of the context in one transaction. Row ids given to new
// records are held back until the caller has seen the commit succeed, so a failed save
// leaves every record exactly as it was. A record whose row another process deleted stays
// deleted: its changes are dropped, and so are new records below it.
class StoreWriter
{
public:
    explicit StoreWriter(const QSqlDatabase &database);
    ~StoreWriter();

    // deleted: the records deleted by the context, each with every destination its
    // relationships reach.
    // changed: new rows are numbered in this order, each parent before its children.
    bool write(const std::vector<Record *> &changed, const QList<Record *> &deleted);
    void applyRowIds();
    // Whether the last write left the record out: its row, or its parent's, was deleted elsewhere.
    bool hasDropped(const Record *record) const { return m_vanished.contains(record); }
    QString errorString() const { return m_errorString; }

private:
    // An entity's statements, prepared on first use and bound by column index: the
    // parent's row id first, then the attributes in table order, then (updates) the row id.
    struct Statements
    {
        std::unique_ptr<SqliteStatement> insert;
        std::unique_ptr<SqliteStatement> update;
        std::unique_ptr<SqliteStatement> insertText;
    };

    Statements &statementsFor(const EntityDescription &entity);
    bool writeRecord(Record *record);
    // Whether the record's row is known to be gone from the store, or its parent's is.
    bool hasVanished(Record *record);
    bool rowExists(const EntityDescription &entity, qint64 rowId);
    void noteVanished(Record *record, const char *why);
    bool deleteRecord(const Record *record);
    bool dropContent(const Record *record);
    bool execForRowId(const QStringList &statements, qint64 rowId);
    qint64 rowIdOf(Record *record) const;
    bool exec(SqliteStatement &statement);

    QSqlDatabase m_database;
    std::unordered_map<const EntityDescription *, Statements> m_statements;
    QHash<Record *, qint64> m_newRowIds;
    QSet<const Record *> m_vanished;
    QSet<const Record *> m_present;
    QString m_errorString;
};
