#include "store/StoreReader.h"

#include <QCoreApplication>
#include <QSqlQuery>

#include "store/EntityDescription.h"
#include "store/ObjectContext.h"
#include "store/Record.h"
#include "store/StoreLog.h"

StoreReader::StoreReader(const QSqlDatabase &database)
    : m_database(database)
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

bool StoreReader::load(ObjectContext *context, const EntityDescription &entity, bool withDestinations,
                       std::vector<std::unique_ptr<Record>> &records)
{
    return loadRecords(context, entity, nullptr, nullptr, {}, withDestinations, records);
}

bool StoreReader::loadRecords(ObjectContext *context, const EntityDescription &entity,
                              const RelationshipDescription *via, const EntityDescription *sourceEntity,
                              const QHash<qint64, Record *> &sources, bool withDestinations,
                              std::vector<std::unique_ptr<Record>> &records, const SourceFilter *filter)
{
    QString sql = QStringLiteral("SELECT e.id");
    if (via) {
        sql += QStringLiteral(", e.") + entity.parentColumn;
    }
    for (const AttributeDescription &attribute : entity.attributes) {
        if (attribute.load && !attribute.lazy) {
            sql += QStringLiteral(", e.") + attribute.key;
        }
    }
    if (via && filter) {
        sql += QStringLiteral(" FROM %1 p JOIN %2 e ON e.%3 = p.id WHERE p.%4 = ?")
                   .arg(sourceEntity->table, entity.table, entity.parentColumn, filter->column);
    } else if (via && sourceEntity->parentEntity) {
        // Only the destinations of sources that are loaded themselves, not those of detached ones.
        sql += QStringLiteral(" FROM %1 e JOIN %2 p ON p.id = e.%3 WHERE p.%4 > 0")
                   .arg(entity.table, sourceEntity->table, entity.parentColumn, sourceEntity->parentColumn);
    } else if (via) {
        // Nearly every row has a parent: reading the table through the parent's index would seek
        // each row on its own, where a scan reads each page once.
        sql += QStringLiteral(" FROM %1 e NOT INDEXED WHERE e.%2 > 0").arg(entity.table, entity.parentColumn);
    } else {
        sql += QStringLiteral(" FROM ") + entity.table + QStringLiteral(" e");
    }
    if (via && via->ordered && filter) {
        // Each source's destinations in their order; the indexes give that order as they are
        // read, where ordering them all by id would sort every answer anew.
        sql += QStringLiteral(" ORDER BY p.id, e.id");
    } else if (via && via->ordered) {
        sql += QStringLiteral(" ORDER BY e.id");
    }
    std::optional<SqliteStatement> once;
    SqliteStatement &query = filter ? preparedStatement(sql) : once.emplace(m_database, sql);
    if (filter) {
        query.bind(1, filter->key);
    }
    const int firstAttributeColumn = via ? 2 : 1;
    const bool loadsFaults = entity.hasLazyValues();
    QHash<qint64, Record *> loadedById;
    while (query.next()) {
        Record *source = nullptr;
        if (via) {
            source = sources.value(query.integer(1));
            if (!source) {
                continue;
            }
        }
        std::unique_ptr<Record> record = entity.create(context);
        Record *loaded = record.get();
        loaded->m_rowId = query.integer(0);
        loaded->m_state = Record::State::Saved;
        loaded->m_isFault = loadsFaults;
        int column = firstAttributeColumn;
        for (const AttributeDescription &attribute : entity.attributes) {
            if (attribute.load && !attribute.lazy) {
                attribute.load(*loaded, query, column++);
            }
        }
        loaded->didSynchronizeWithStore();
        if (source) {
            via->attach(*source, record);
        }
        if (record) {
            records.push_back(std::move(record));
        }
        if (withDestinations && !entity.relationships.empty()) {
            loadedById.insert(loaded->rowId(), loaded);
        }
    }
    const bool read = finish(query);
    query.reset();
    if (!read) {
        return false;
    }
    if (!withDestinations) {
        return true;
    }
    for (const RelationshipDescription &relationship : entity.relationships) {
        if (relationship.lazy) {
            continue;
        }
        if (!loadRecords(context, relationship.destination(), &relationship, &entity, loadedById, true, records)) {
            return false;
        }
    }
    return true;
}

bool StoreReader::loadLazyValues(ObjectContext *context, const EntityDescription &entity, const QString &column,
                                 qint64 key, const QHash<qint64, Record *> &faults)
{
    beginReadTransaction();
    QString sql = QStringLiteral("SELECT id");
    for (const AttributeDescription &attribute : entity.attributes) {
        if (attribute.lazy) {
            sql += QStringLiteral(", ") + attribute.key;
        }
    }
    sql += QStringLiteral(" FROM %1 WHERE %2 = ?").arg(entity.table, column);
    SqliteStatement &query = preparedStatement(sql);
    query.bind(1, key);
    while (query.next()) {
        Record *fault = faults.value(query.integer(0));
        if (!fault) {
            continue;
        }
        int index = 1;
        for (const AttributeDescription &attribute : entity.attributes) {
            if (attribute.lazy) {
                attribute.load(*fault, query, index++);
            }
        }
    }
    const bool read = finish(query);
    query.reset();
    if (!read) {
        return false;
    }
    const SourceFilter filter{column, key};
    std::vector<std::unique_ptr<Record>> unowned;
    for (const RelationshipDescription &relationship : entity.relationships) {
        if (relationship.lazy
            && !loadRecords(context, relationship.destination(), &relationship, &entity, faults, true, unowned,
                            &filter)) {
            return false;
        }
    }
    // Lazy relationships are owning: their destinations now belong to the faults.
    Q_ASSERT(unowned.empty());
    return true;
}

StoreReader::Lookups &StoreReader::lookupsFor(const EntityDescription &entity)
{
    Lookups &lookups = m_lookups[&entity];
    if (!lookups.identifier && !entity.identifierKey.isEmpty()) {
        const QString select = QStringLiteral("SELECT 1 FROM %1 WHERE %2 ").arg(entity.table, entity.identifierKey);
        lookups.identifier = std::make_unique<SqliteStatement>(m_database, select + QStringLiteral("= ? LIMIT 1"));
        lookups.absentIdentifier =
            std::make_unique<SqliteStatement>(m_database, select + QStringLiteral("IS NULL LIMIT 1"));
    }
    if (!lookups.text && entity.textAttribute()) {
        const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                .arg(entity.textAttribute()->key, entity.textTable, entity.textOwnerColumn);
        lookups.text = std::make_unique<SqliteStatement>(m_database, sql);
    }
    if (!lookups.countByParent && !entity.parentColumn.isEmpty()) {
        const QString sql =
            QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?").arg(entity.table, entity.parentColumn);
        lookups.countByParent = std::make_unique<SqliteStatement>(m_database, sql);
    }
    return lookups;
}

SqliteStatement &StoreReader::preparedStatement(const QString &sql)
{
    std::shared_ptr<SqliteStatement> &statement = m_prepared[sql];
    if (!statement) {
        statement = std::make_shared<SqliteStatement>(m_database, sql);
    }
    return *statement;
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
            QCoreApplication::instance(),
            [this, guard = std::weak_ptr<int>(m_alive)] {
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

std::optional<QString> StoreReader::loadText(const EntityDescription &entity, qint64 rowId)
{
    SqliteStatement *query = lookupsFor(entity).text.get();
    if (!query) {
        return std::nullopt;
    }
    beginReadTransaction();
    query->bind(1, rowId);
    std::optional<QString> text;
    if (query->next()) {
        text = query->optionalText(0);
    }
    query->reset();
    return text;
}

std::optional<qint64> StoreReader::countDestinations(const RelationshipDescription &relationship, qint64 sourceRowId)
{
    SqliteStatement *query = lookupsFor(relationship.destination()).countByParent.get();
    if (!query) {
        return std::nullopt;
    }
    beginReadTransaction();
    query->bind(1, sourceRowId);
    std::optional<qint64> count;
    if (query->next()) {
        count = query->integer(0);
    } else {
        finish(*query);
    }
    query->reset();
    return count;
}

bool StoreReader::hasIdentifier(const EntityDescription &entity, const std::optional<QString> &identifier)
{
    Lookups &lookups = lookupsFor(entity);
    if (!lookups.identifier) {
        return false;
    }
    beginReadTransaction();
    SqliteStatement &query = identifier ? *lookups.identifier : *lookups.absentIdentifier;
    if (identifier) {
        query.bind(1, *identifier);
    }
    const bool found = query.next();
    if (!found && !finish(query)) {
        // A failing lookup counts as "not stored"; the entry is then kept rather than lost.
        qCWarning(lcStore, "%s", qPrintable(m_errorString));
    }
    query.reset();
    return found;
}
