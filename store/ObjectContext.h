#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Its signals carry records, and moc needs their type whole.
#include "store/Record.h"
#include "store/SchemaMigration.h"

class QUndoStack;
class StoreReader;
struct EntityDescription;
struct RelationshipDescription;

// The one object context of the process: the records loaded from the SQLite store,
// the changes made to them since the last save, an undo stack for edits made in the
// windows, and the identifier lookup the parser asks before storing an entry. It knows
// the records only through their entity descriptions; the model's classes cast.
//
// Who owns what: the context owns every record it loaded or inserted, feeds and entries
// alike, except the destinations of an owning relationship (an entry's sub-links), which
// belong to their source and go with it. A record leaves memory at the first save after
// it was deleted, or after it was detached from its source (an entry pruned from its
// feed's history, which stays in the store), or with the context. Until then every
// pointer handed out stays valid, those in objectsDidChange included.
class ObjectContext : public QObject
{
    Q_OBJECT
public:
    explicit ObjectContext(QObject *parent = nullptr);
    ~ObjectContext() override;

    // Opens the store file at path, creating it (mode 0600, and a store of ours found wider is made
    // so again) with the schema when missing and
    // bringing it through the migration steps it has not had yet. A file that is not a store of
    // ours, or of a newer schema, is refused and left as it is, and so is one whose migration fails.
    bool open(const QString &path, const QString &schema,
              const QList<SchemaMigration> &migrations = SchemaMigration::storeMigrations());
    bool isOpen() const;
    QString errorString() const { return m_errorString; }

    // Every record of the entity, in the order they were loaded or inserted. The first call
    // loads them with everything their relationships reach (for feeds: their histories, not
    // the entry texts); each loaded record then receives awakeFromFetch.
    std::optional<QList<Record *>> fetchObjects(const EntityDescription &entity);
    // Tools that only read or edit the store (the command line) turn this off before the
    // first fetch: loaded feeds are then not awakened and checkFeed does nothing. Awaking
    // resets the last fetch date and a check clears the stored error message, so a listing
    // would show neither and a save would write both away; and a process that exits at
    // once would only send requests whose answers nobody reads.
    void setChecksFeeds(bool checks) { m_checksFeeds = checks; }
    bool checksFeeds() const { return m_checksFeeds; }
    // Tools that only list records (the command line's listings) turn this off before the
    // first fetch too: records then load without what their relationships reach, which stay
    // empty, and countDestinations says how many the store holds. A listing of 2,000 feeds
    // would otherwise read 100,000 entries to print one line per feed.
    void setLoadsDestinations(bool loads) { m_loadsDestinations = loads; }
    bool loadsDestinations() const { return m_loadsDestinations; }
    // How many records the store holds at the other end of the source's relationship; nothing
    // when the store cannot say, and errorString() then says why.
    std::optional<qint64> countDestinations(const Record &source, const RelationshipDescription &relationship);

    // A new record of the entity, owned by the context, after its awakeFromInsert.
    Record *insertObject(const EntityDescription &entity);
    // Deletes the record together with the destinations of its relationships (a feed with
    // its entries and their sub-links).
    void deleteObject(Record *record);

    // Whether any record of the entity, attached or not, has exactly this identifier; unsaved
    // records count. An absent identifier matches records stored without one.
    bool hasObjectWithIdentifier(const EntityDescription &entity, const std::optional<QString> &identifier);

    bool hasChanges() const;
    // Writes every pending change in one transaction. On failure nothing is written,
    // every change stays pending and errorString() says why.
    bool save();

    // Windows register a committer for their half-typed edits; the quit decision asks
    // them all before saving. A committer that returns false refuses.
    void addEditingCommitter(QObject *owner, std::function<bool()> committer);
    bool commitEditing();

    QUndoStack *undoManager() const { return m_undoStack; }
    // An edit made in a window: recorded on the undo stack, applied through the
    // record's by-key access so the custom setters run.
    void setValueUndoably(Record *record, const QString &key, const QVariant &value);

    // Called by the records.
    void recordDidChange(Record *record, const QString &key);
    // A record's identifier is about to change; keeps the lookup of unsaved identifiers exact.
    void identifierWillChange(const Record &record, const std::optional<QString> &from,
                              const std::optional<QString> &to);
    // The record's text attribute as stored.
    std::optional<QString> loadText(const Record &record);
    // Reads the fault's lazy values (Record::fireFault). A fault the store cannot read stays one,
    // and a save that would write it fails rather than write what it does not know.
    void fireFault(Record &record);
    // Fires, in one read, every fault among the source's destinations: for a feed's history
    // about to be shown whole.
    void fireFaults(const Record &source, const RelationshipDescription &relationship);
    // How many records may hold their lazy values unchanged; beyond that, the ones fired or
    // saved longest ago turn back into faults. An entry's are about 1 KB with its sub-links. A
    // thousand is more than any menu shows at once: a history is read whole when it is opened.
    static constexpr size_t MaximumRecordsHoldingLazyValues = 1000;
    // At least one: the record just fired keeps what it read.
    void setMaximumRecordsHoldingLazyValues(size_t maximum)
    {
        m_maximumHoldingLazyValues = std::max<size_t>(maximum, 1);
    }

Q_SIGNALS:
    void recordChanged(Record *record, const QString &key);
    void objectsDidChange(const QList<Record *> &deletedObjects);
    // Entries are about to leave memory (deleted, or detached from every feed, and saved);
    // whoever holds one of them must let go now.
    void itemsWillBeReleased(const QList<Record *> &items);

private:
    // Unsaved records' identifiers, counted, and how many unsaved records have none.
    struct UnsavedIdentifiers
    {
        QHash<QString, int> values;
        int absent = 0;
    };

    bool load(const EntityDescription &entity);
    void collectDeleted(Record *record, QList<Record *> &deleted);
    void countUnsavedIdentifier(const EntityDescription &entity, const std::optional<QString> &identifier, int change);
    static bool isDetached(const Record &record);
    void releaseSavedObjects(bool detachedAny);
    void noteChanged(Record *record);
    void forgetChanged(Record *record);
    bool fail(const QString &message);
    // Fires the faults, keyed by row id, whose column holds key.
    void fire(const EntityDescription &entity, const QString &column, qint64 key,
              const QHash<qint64, Record *> &faults);
    // The record now holds its lazy values; the oldest holders beyond the maximum become faults.
    void noteHoldingLazyValues(Record *record);
    // A record being freed leaves the queue (~Record).
    friend class Record;
    void forgetHoldingLazyValues(const Record *record);

    QString m_connectionName;
    QSqlDatabase m_database;
    std::unique_ptr<StoreReader> m_reader;
    QString m_errorString;
    QSet<const EntityDescription *> m_fetched;
    bool m_checksFeeds = true;
    bool m_loadsDestinations = true;

    std::vector<std::unique_ptr<Record>> m_objects;
    // fetchObjects' answers since m_objects last changed.
    QHash<const EntityDescription *, QList<Record *>> m_listedObjects;
    // In the order the records first changed, so that new rows are written, and numbered, in the
    // order they were made: a feed's entries side by side, in the order of its document. A record
    // that leaves the changes (it was deleted) stays in the list with its mark cleared until the
    // next save; it is still alive then, among the deleted objects.
    std::vector<Record *> m_changed;
    size_t m_changedCount = 0;
    // Deleted records wait here for the next save; the roots are the ones deleteObject was called on.
    std::vector<std::unique_ptr<Record>> m_deletedObjects;
    QList<Record *> m_deletedRoots;
    QHash<const EntityDescription *, UnsavedIdentifiers> m_unsavedIdentifiers;
    // Records holding their lazy values, the longest-held first; a record leaves it when freed.
    std::deque<Record *> m_holdingLazyValues;
    size_t m_maximumHoldingLazyValues = MaximumRecordsHoldingLazyValues;

    QList<std::pair<QObject *, std::function<bool()>>> m_committers;
    QUndoStack *m_undoStack;
};
