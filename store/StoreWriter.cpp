#include "store/StoreWriter.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <utility>
#include <vector>

#include "store/EntityDescription.h"
#include "store/Record.h"
#include "store/StoreLog.h"

namespace {

// How many sources stand above the entity's records; sources are written first so that
// their destinations can refer to the row ids of new ones.
int depthOf(const EntityDescription &entity)
{
    return entity.parentEntity ? 1 + depthOf(entity.parentEntity()) : 0;
}

// The statements deleting what the rows matched by condition (one placeholder, a record's row
// id) hold beyond their own columns: their long text and every row their relationships reach,
// the farthest first.
void appendContentDeletions(const EntityDescription &entity, const QString &condition, QStringList &statements)
{
    const QString rowIds = QStringLiteral("IN (SELECT id FROM %1 WHERE %2)").arg(entity.table, condition);
    const bool byRowId = condition == QLatin1String("id = ?");
    for (const RelationshipDescription &relationship : entity.relationships) {
        const EntityDescription &destination = relationship.destination();
        const QString destinations =
            destination.parentColumn + (byRowId ? QStringLiteral(" = ?") : QLatin1Char(' ') + rowIds);
        appendContentDeletions(destination, destinations, statements);
        statements.append(QStringLiteral("DELETE FROM %1 WHERE %2").arg(destination.table, destinations));
    }
    if (!entity.textTable.isEmpty()) {
        statements.append(
            QStringLiteral("DELETE FROM %1 WHERE %2 %3").arg(entity.textTable, entity.textOwnerColumn, rowIds));
    }
}

// A record detached from its source (an entry pruned from its feed's history) stays in the
// store only so that its identifier is still known; its text and destinations would make a
// feed that rotates its items grow the store without bound.
bool isDetached(const Record &record)
{
    const EntityDescription &entity = record.entity();
    return !entity.parentColumn.isEmpty() && entity.parent(record) == nullptr;
}

} // namespace

StoreWriter::StoreWriter(const QSqlDatabase &database)
    : m_database(database)
{
}

StoreWriter::~StoreWriter() = default;

StoreWriter::Statements &StoreWriter::statementsFor(const EntityDescription &entity)
{
    Statements &statements = m_statements[&entity];
    if (statements.insert) {
        return statements;
    }
    QStringList columns;
    if (!entity.parentColumn.isEmpty()) {
        columns.append(entity.parentColumn);
    }
    for (const AttributeDescription &attribute : entity.attributes) {
        if (attribute.type != AttributeType::Utf8Text) {
            columns.append(attribute.key);
        }
    }
    const QString insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(entity.table, columns.join(QStringLiteral(", ")),
                                    QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
    const QString update =
        QStringLiteral("UPDATE %1 SET %2 = ? WHERE id = ?").arg(entity.table, columns.join(QStringLiteral(" = ?, ")));
    statements.insert = std::make_unique<SqliteStatement>(m_database, insert);
    statements.update = std::make_unique<SqliteStatement>(m_database, update);
    if (const AttributeDescription *text = entity.textAttribute()) {
        const QString insertText = QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)")
                                       .arg(entity.textTable, entity.textOwnerColumn, text->key);
        statements.insertText = std::make_unique<SqliteStatement>(m_database, insertText);
    }
    return statements;
}

bool StoreWriter::exec(SqliteStatement &statement)
{
    if (!statement.exec()) {
        m_errorString = statement.errorString();
        return false;
    }
    return true;
}

qint64 StoreWriter::rowIdOf(Record *record) const
{
    return record->rowId() != 0 ? record->rowId() : m_newRowIds.value(record);
}

bool StoreWriter::write(const std::vector<Record *> &changed, const QList<Record *> &deleted)
{
    if (!m_database.transaction()) {
        m_errorString = m_database.lastError().text();
        return false;
    }
    std::vector<std::pair<int, Record *>> ordered;
    ordered.reserve(size_t(changed.size()));
    for (Record *record : changed) {
        ordered.emplace_back(depthOf(record->entity()), record);
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    bool ok =
        std::all_of(ordered.cbegin(), ordered.cend(), [this](const auto &entry) { return writeRecord(entry.second); });
    ok = ok
        && std::all_of(deleted.cbegin(), deleted.cend(), [this](const Record *record) { return deleteRecord(record); });
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

bool StoreWriter::deleteRecord(const Record *record)
{
    if (record->rowId() == 0) {
        return true;
    }
    QStringList statements;
    appendContentDeletions(record->entity(), QStringLiteral("id = ?"), statements);
    statements.append(QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(record->entity().table));
    return execForRowId(statements, record->rowId());
}

bool StoreWriter::dropContent(const Record *record)
{
    QStringList statements;
    appendContentDeletions(record->entity(), QStringLiteral("id = ?"), statements);
    return execForRowId(statements, record->rowId());
}

bool StoreWriter::execForRowId(const QStringList &statements, qint64 rowId)
{
    QSqlQuery query(m_database);
    for (const QString &sql : std::as_const(statements)) {
        query.prepare(sql);
        query.addBindValue(rowId);
        if (!query.exec()) {
            m_errorString = query.lastError().text();
            return false;
        }
    }
    return true;
}

void StoreWriter::noteVanished(Record *record, const char *why)
{
    m_vanished.insert(record);
    qCInfo(lcStore, "%s record %lld not written: %s", qPrintable(record->entity().table), record->rowId(), why);
}

bool StoreWriter::rowExists(const EntityDescription &entity, qint64 rowId)
{
    QSqlQuery query(m_database);
    query.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE id = ?").arg(entity.table));
    query.addBindValue(rowId);
    return query.exec() && query.next();
}

bool StoreWriter::hasVanished(Record *record)
{
    const EntityDescription &entity = record->entity();
    Record *parent = entity.parentColumn.isEmpty() ? nullptr : entity.parent(*record);
    if (!parent) {
        return false;
    }
    if (m_vanished.contains(parent)) {
        noteVanished(record, "its parent was deleted elsewhere");
        return true;
    }
    // A new record under a parent this save did not write: its parent's row may be gone.
    if (record->rowId() == 0 && parent->rowId() != 0 && !m_present.contains(parent)) {
        if (!rowExists(entity.parentEntity(), parent->rowId())) {
            m_vanished.insert(parent);
            noteVanished(record, "its parent was deleted elsewhere");
            return true;
        }
        m_present.insert(parent);
    }
    return false;
}

bool StoreWriter::writeRecord(Record *record)
{
    if (hasVanished(record)) {
        return true;
    }
    // A row is written whole: a record whose lazy values could not be read is not written
    // with nothing in their place.
    record->fireFault();
    if (record->isFault()) {
        m_errorString = QStringLiteral("%1 record %2 could not be read before it was written")
                            .arg(record->entity().table)
                            .arg(record->rowId());
        return false;
    }
    const EntityDescription &entity = record->entity();
    Statements &statements = statementsFor(entity);
    const bool inserting = record->rowId() == 0;
    SqliteStatement &statement = inserting ? *statements.insert : *statements.update;
    int index = 1;
    if (!entity.parentColumn.isEmpty()) {
        Record *parent = entity.parent(*record);
        if (parent) {
            statement.bind(index, rowIdOf(parent));
        } else {
            statement.bindNull(index);
        }
        ++index;
    }
    for (const AttributeDescription &attribute : entity.attributes) {
        if (attribute.type != AttributeType::Utf8Text) {
            attribute.bind(*record, statement, index++);
        }
    }
    if (!inserting) {
        statement.bind(index, record->rowId());
    }
    if (!exec(statement)) {
        return false;
    }
    const bool detached = isDetached(*record);
    if (!inserting) {
        // Another process deleted the row; writing it again would bring back what its user removed.
        if (statement.changes() == 0) {
            noteVanished(record, "deleted elsewhere");
            return true;
        }
        m_present.insert(record);
        return !detached || dropContent(record);
    }
    m_present.insert(record);
    const qint64 rowId = statement.lastInsertRowId();
    m_newRowIds.insert(record, rowId);
    if (detached) {
        return true;
    }
    if (statements.insertText) {
        statements.insertText->bind(1, rowId);
        entity.textAttribute()->bind(*record, *statements.insertText, 2);
        if (!exec(*statements.insertText)) {
            return false;
        }
    }
    // The destinations a record owns are written with it, once: they never change after.
    for (const RelationshipDescription &relationship : entity.relationships) {
        if (!relationship.owning) {
            continue;
        }
        for (qsizetype at = 0; at < relationship.count(*record); ++at) {
            if (!writeRecord(relationship.at(*record, at))) {
                return false;
            }
        }
    }
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
