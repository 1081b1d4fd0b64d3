#pragma once

#include <QHash>
#include <QSqlDatabase>
#include <QString>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "store/SqliteStatement.h"

class ObjectContext;
class Record;
struct EntityDescription;
struct RelationshipDescription;

// Reads records from the store: an entity's records with everything their relationships
// reach (without the long texts and lazy values), a single record's text and a fault's lazy
// values on demand, and the identifier lookup.
class StoreReader
{
public:
    explicit StoreReader(const QSqlDatabase &database);
    ~StoreReader();

    // Records the context owns land in records; the others now belong to their sources.
    // Without withDestinations the records' relationships stay empty.
    bool load(ObjectContext *context, const EntityDescription &entity, bool withDestinations,
              std::vector<std::unique_ptr<Record>> &records);
    // How many records the store holds at the other end of the relationship of the source row.
    std::optional<qint64> countDestinations(const RelationshipDescription &relationship, qint64 sourceRowId);
    std::optional<QString> loadText(const EntityDescription &entity, qint64 rowId);
    // Reads the lazy attributes and lazy destinations of the faults, keyed by row id, whose
    // column holds key (their own row id, or their source's); faults the store no longer holds
    // are left as they are. Nothing is taken from faults that were not asked for.
    bool loadLazyValues(ObjectContext *context, const EntityDescription &entity, const QString &column, qint64 key,
                        const QHash<qint64, Record *> &faults);
    bool hasIdentifier(const EntityDescription &entity, const std::optional<QString> &identifier);
    QString errorString() const { return m_errorString; }
    // Ends the read transaction that lookups of this event-loop turn share; a save must
    // call it first.
    void endReadTransaction();

private:
    // The hot single-row statements of an entity, prepared on first use.
    struct Lookups
    {
        std::unique_ptr<SqliteStatement> identifier;
        std::unique_ptr<SqliteStatement> absentIdentifier;
        std::unique_ptr<SqliteStatement> text;
        std::unique_ptr<SqliteStatement> countByParent;
    };

    // Which sources' destinations to read: every loaded source's, or only those of the sources
    // whose column holds key.
    struct SourceFilter
    {
        QString column;
        qint64 key = 0;
    };

    // Loads the destinations of via (all records, without via) whose sources are in sources,
    // leaving out lazy values.
    bool loadRecords(ObjectContext *context, const EntityDescription &entity, const RelationshipDescription *via,
                     const EntityDescription *sourceEntity, const QHash<qint64, Record *> &sources,
                     bool withDestinations, std::vector<std::unique_ptr<Record>> &records,
                     const SourceFilter *filter = nullptr);
    Lookups &lookupsFor(const EntityDescription &entity);
    // A statement prepared once for the reads that run again and again (a fault's values),
    // reset and ready to bind.
    SqliteStatement &preparedStatement(const QString &sql);
    void beginReadTransaction();
    bool finish(SqliteStatement &statement);

    QSqlDatabase m_database;
    std::unordered_map<const EntityDescription *, Lookups> m_lookups;
    QHash<QString, std::shared_ptr<SqliteStatement>> m_prepared;
    QString m_errorString;
    bool m_inReadTransaction = false;
    std::shared_ptr<int> m_alive = std::make_shared<int>();
};
