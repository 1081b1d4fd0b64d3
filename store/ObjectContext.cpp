#include "store/ObjectContext.h"

#include <QUndoStack>

#include <algorithm>

#include "store/EntityDescription.h"
#include "store/Record.h"
#include "store/StoreFile.h"
#include "store/StoreLog.h"
#include "store/StoreReader.h"
#include "store/StoreWriter.h"
#include "store/ValueEdit.h"

ObjectContext::ObjectContext(QObject *parent)
    : QObject(parent)
    , m_undoStack(new QUndoStack(this))
{
    static int connectionCount = 0;
    m_connectionName = QStringLiteral("brevlin-store-%1").arg(++connectionCount);
}

ObjectContext::~ObjectContext()
{
    // The records go all at once: none need leave the queue one by one.
    for (Record *record : m_holdingLazyValues) {
        record->m_placesHoldingLazyValues = 0;
    }
    m_holdingLazyValues.clear();
    m_objects.clear();
    m_deletedObjects.clear();
    m_reader.reset();
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool ObjectContext::open(const QString &path, const QString &schema, const QList<SchemaMigration> &migrations)
{
    StoreFile file(m_connectionName);
    if (!file.open(path, schema, migrations)) {
        m_errorString = file.errorString();
        return false;
    }
    m_database = file.database();
    m_reader = std::make_unique<StoreReader>(m_database);
    m_errorString.clear();
    return true;
}

bool ObjectContext::isOpen() const
{
    return m_reader != nullptr;
}

bool ObjectContext::fail(const QString &message)
{
    m_errorString = message;
    return false;
}

std::optional<QList<Record *>> ObjectContext::fetchObjects(const EntityDescription &entity)
{
    if (!m_fetched.contains(&entity) && !load(entity)) {
        return std::nullopt;
    }
    // Asked at every menu rebuild, for the 2,000 feeds among 100,000 records.
    const auto listed = m_listedObjects.constFind(&entity);
    if (listed != m_listedObjects.cend()) {
        return *listed;
    }
    QList<Record *> records;
    for (const auto &record : m_objects) {
        if (&record->entity() == &entity) {
            records.append(record.get());
        }
    }
    m_listedObjects.insert(&entity, records);
    return records;
}

bool ObjectContext::load(const EntityDescription &entity)
{
    if (!isOpen()) {
        return fail(m_errorString.isEmpty() ? tr("The store is not open.") : m_errorString);
    }
    std::vector<std::unique_ptr<Record>> loaded;
    if (!m_reader->load(this, entity, m_loadsDestinations, loaded)) {
        return fail(m_reader->errorString());
    }
    m_fetched.insert(&entity);
    const size_t first = m_objects.size();
    std::move(loaded.begin(), loaded.end(), std::back_inserter(m_objects));
    m_listedObjects.clear();
    if (m_checksFeeds) {
        // Awaking may start work that reaches other records, so every one is in place first.
        for (size_t index = first; index < m_objects.size(); ++index) {
            m_objects[index]->awakeFromFetch();
        }
    }
    return true;
}

Record *ObjectContext::insertObject(const EntityDescription &entity)
{
    std::unique_ptr<Record> record = entity.create(this);
    Record *inserted = record.get();
    m_objects.push_back(std::move(record));
    m_listedObjects.remove(&entity);
    noteChanged(inserted);
    countUnsavedIdentifier(entity, std::nullopt, +1);
    inserted->awakeFromInsert();
    return inserted;
}

void ObjectContext::countUnsavedIdentifier(const EntityDescription &entity, const std::optional<QString> &identifier,
                                           int change)
{
    if (entity.identifierKey.isEmpty()) {
        return;
    }
    UnsavedIdentifiers &unsaved = m_unsavedIdentifiers[&entity];
    if (!identifier) {
        unsaved.absent += change;
    } else if ((unsaved.values[*identifier] += change) <= 0) {
        unsaved.values.remove(*identifier);
    }
}

void ObjectContext::identifierWillChange(const Record &record, const std::optional<QString> &from,
                                         const std::optional<QString> &to)
{
    if (record.state() == Record::State::Inserted) {
        countUnsavedIdentifier(record.entity(), from, -1);
        countUnsavedIdentifier(record.entity(), to, +1);
    }
}

void ObjectContext::deleteObject(Record *record)
{
    const bool owned = std::any_of(m_objects.cbegin(), m_objects.cend(),
                                   [record](const auto &object) { return object.get() == record; });
    if (!owned) {
        qCWarning(lcStore, "ObjectContext::deleteObject: the record is not in this context");
        return;
    }
    QList<Record *> deleted;
    collectDeleted(record, deleted);
    const auto kept = std::stable_partition(m_objects.begin(), m_objects.end(), [](const auto &object) {
        return object->state() != Record::State::Deleted;
    });
    std::move(kept, m_objects.end(), std::back_inserter(m_deletedObjects));
    m_objects.erase(kept, m_objects.end());
    m_listedObjects.clear();
    m_deletedRoots.append(record);
    m_undoStack->clear();
    Q_EMIT objectsDidChange(deleted);
}

void ObjectContext::collectDeleted(Record *record, QList<Record *> &deleted)
{
    const EntityDescription &entity = record->entity();
    deleted.append(record);
    record->prepareForDeletion();
    for (const RelationshipDescription &relationship : entity.relationships) {
        if (relationship.owning) {
            continue;
        }
        for (qsizetype index = 0; index < relationship.count(*record); ++index) {
            collectDeleted(relationship.at(*record, index), deleted);
        }
        relationship.clear(*record);
    }
    forgetChanged(record);
    if (record->state() == Record::State::Inserted && !entity.identifierKey.isEmpty()) {
        const QVariant identifier = entity.attribute(entity.identifierKey)->value(*record);
        countUnsavedIdentifier(entity, RecordValue::toOptionalString(identifier), -1);
    }
    record->m_state = Record::State::Deleted;
}

bool ObjectContext::hasObjectWithIdentifier(const EntityDescription &entity, const std::optional<QString> &identifier)
{
    const auto unsaved = m_unsavedIdentifiers.constFind(&entity);
    if (unsaved != m_unsavedIdentifiers.cend()
        && (identifier ? unsaved->values.value(*identifier) > 0 : unsaved->absent > 0)) {
        return true;
    }
    if (!isOpen()) {
        return false;
    }
    return m_reader->hasIdentifier(entity, identifier);
}

bool ObjectContext::hasChanges() const
{
    return m_changedCount > 0 || !m_deletedRoots.isEmpty();
}

bool ObjectContext::save()
{
    if (!isOpen()) {
        return fail(m_errorString.isEmpty() ? tr("The store is not open.") : m_errorString);
    }
    if (!hasChanges()) {
        return true;
    }
    m_reader->endReadTransaction();
    std::vector<Record *> changed;
    changed.reserve(m_changedCount);
    std::copy_if(m_changed.cbegin(), m_changed.cend(), std::back_inserter(changed),
                 [](const Record *record) { return record->m_isChanged; });
    StoreWriter writer(m_database);
    if (!writer.write(changed, m_deletedRoots)) {
        return fail(writer.errorString());
    }
    writer.applyRowIds();
    QList<Record *> holding;
    bool detachedAny = false;
    for (Record *record : changed) {
        record->m_isChanged = false;
        record->m_state = Record::State::Saved;
        detachedAny = detachedAny || isDetached(*record);
        // A record the store did not take keeps what only memory holds, such as a new entry's text.
        if (!writer.hasDropped(record)) {
            record->didSynchronizeWithStore();
            if (record->entity().hasLazyValues()) {
                holding.append(record);
            }
        }
    }
    m_changed.clear();
    m_changedCount = 0;
    // Only now that none of them is pending can the oldest become faults.
    for (Record *record : std::as_const(holding)) {
        noteHoldingLazyValues(record);
    }
    m_unsavedIdentifiers.clear();
    releaseSavedObjects(detachedAny);
    return true;
}

void ObjectContext::noteChanged(Record *record)
{
    if (!record->m_isChanged) {
        record->m_isChanged = true;
        m_changed.push_back(record);
        ++m_changedCount;
    }
}

void ObjectContext::forgetChanged(Record *record)
{
    if (record->m_isChanged) {
        record->m_isChanged = false;
        --m_changedCount;
    }
}

bool ObjectContext::isDetached(const Record &record)
{
    const EntityDescription &entity = record.entity();
    return entity.parent && entity.parent(record) == nullptr;
}

void ObjectContext::releaseSavedObjects(bool detachedAny)
{
    // Detached records (an entry that left its feed) go with the deleted ones. Leaving changes a
    // record, so only a save of one that left looks through all of them.
    const auto detached = [](const std::unique_ptr<Record> &record) { return isDetached(*record); };
    QList<Record *> released;
    for (const std::unique_ptr<Record> &record : m_deletedObjects) {
        released.append(record.get());
    }
    if (detachedAny) {
        for (const std::unique_ptr<Record> &record : m_objects) {
            if (detached(record)) {
                released.append(record.get());
            }
        }
    }
    if (!released.isEmpty()) {
        Q_EMIT itemsWillBeReleased(released);
    }
    m_deletedRoots.clear();
    m_deletedObjects.clear();
    if (detachedAny && std::erase_if(m_objects, detached) > 0) {
        m_listedObjects.clear();
    }
}

void ObjectContext::recordDidChange(Record *record, const QString &key)
{
    // A changed record is written whole; lazy setters fire the fault before they change a value.
    record->fireFault();
    if (record->m_state == Record::State::Saved) {
        record->m_state = Record::State::Updated;
        noteChanged(record);
    }
    Q_EMIT recordChanged(record, key);
}

std::optional<QString> ObjectContext::loadText(const Record &record)
{
    if (!isOpen() || record.rowId() == 0) {
        return std::nullopt;
    }
    return m_reader->loadText(record.entity(), record.rowId());
}

void ObjectContext::fireFault(Record &record)
{
    fire(record.entity(), QStringLiteral("id"), record.rowId(), {{record.rowId(), &record}});
}

void ObjectContext::fireFaults(const Record &source, const RelationshipDescription &relationship)
{
    QHash<qint64, Record *> faults;
    for (qsizetype index = 0; index < relationship.count(source); ++index) {
        Record *destination = relationship.at(source, index);
        if (destination->isFault()) {
            faults.insert(destination->rowId(), destination);
        }
    }
    if (!faults.isEmpty()) {
        const EntityDescription &entity = relationship.destination();
        fire(entity, entity.parentColumn, source.rowId(), faults);
    }
}

void ObjectContext::fire(const EntityDescription &entity, const QString &column, qint64 key,
                         const QHash<qint64, Record *> &faults)
{
    if (!isOpen() || !m_reader->loadLazyValues(this, entity, column, key, faults)) {
        qCWarning(lcStore, "%s record %lld: its values could not be read: %s", qPrintable(entity.table),
                  faults.isEmpty() ? 0LL : faults.cbegin().key(),
                  qPrintable(isOpen() ? m_reader->errorString() : tr("The store is not open.")));
        return;
    }
    // The ones the store no longer holds have no lazy values; they are fired all the same, so
    // that a save meets the missing row and says so rather than failing for ever.
    for (Record *record : faults) {
        record->m_isFault = false;
        noteHoldingLazyValues(record);
    }
}

void ObjectContext::noteHoldingLazyValues(Record *record)
{
    m_holdingLazyValues.push_back(record);
    ++record->m_placesHoldingLazyValues;
    while (m_holdingLazyValues.size() > m_maximumHoldingLazyValues) {
        Record *oldest = m_holdingLazyValues.front();
        m_holdingLazyValues.pop_front();
        // A record fired or saved again since holds a later place too; a changed one keeps what
        // it holds until it is saved.
        if (--oldest->m_placesHoldingLazyValues == 0 && !oldest->m_isFault && oldest->m_state == Record::State::Saved) {
            oldest->releaseLazyValues();
            oldest->m_isFault = true;
        }
    }
}

void ObjectContext::forgetHoldingLazyValues(const Record *record)
{
    // The queue is short, and only records fired or saved lately are in it.
    std::erase(m_holdingLazyValues, record);
}

std::optional<qint64> ObjectContext::countDestinations(const Record &source,
                                                       const RelationshipDescription &relationship)
{
    if (!isOpen()) {
        fail(m_errorString.isEmpty() ? tr("The store is not open.") : m_errorString);
        return std::nullopt;
    }
    if (source.rowId() == 0) {
        return 0;
    }
    const std::optional<qint64> count = m_reader->countDestinations(relationship, source.rowId());
    if (!count) {
        fail(m_reader->errorString());
    }
    return count;
}

void ObjectContext::addEditingCommitter(QObject *owner, std::function<bool()> committer)
{
    m_committers.append({owner, std::move(committer)});
    connect(owner, &QObject::destroyed, this,
            [this, owner] { m_committers.removeIf([owner](const auto &entry) { return entry.first == owner; }); });
}

bool ObjectContext::commitEditing()
{
    return std::all_of(m_committers.cbegin(), m_committers.cend(), [](const auto &entry) { return entry.second(); });
}

void ObjectContext::setValueUndoably(Record *record, const QString &key, const QVariant &value)
{
    m_undoStack->push(new ValueEdit(record, key, value));
}
