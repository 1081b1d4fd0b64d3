#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include "store/EntityDescription.h"
#include <memory>
#include <optional>

class ObjectContext;

// A record of the object store: its row in the store file and its place among the
// context's pending changes. Its entity description says what is stored; attributes are
// read and written by key through it, so bound windows and the undo stack reach the
// custom setters.
class Record
{
public:
    enum class State : quint8 { Saved, Inserted, Updated, Deleted };

    virtual ~Record();
    Record(const Record &) = delete;
    Record &operator=(const Record &) = delete;

    const EntityDescription &entity() const { return *m_entity; }
    ObjectContext *managedObjectContext() const { return m_context; }
    qint64 rowId() const { return m_rowId; }
    State state() const { return m_state; }
    // Expires when the record is freed. A save frees entries that left their feed while menus
    // built from them may still be open, so whatever outlives a record holds this beside it.
    std::weak_ptr<const void> lifetime() const;

    // A record whose entity has lazy values loads without them, as a fault; the first getter
    // of one of them fires the fault, which reads them all from the store. Records holding
    // their lazy values unchanged become faults again when many others were fired since.
    bool isFault() const { return m_isFault; }
    void fireFault() const;

    QVariant valueForKey(const QString &key) const;
    void setValueForKey(const QString &key, const QVariant &value);

    // Store life cycle: after the record was inserted into the context, after it was loaded
    // with every other record of the fetch, and whenever the store holds exactly what the
    // record holds (after loading and after saving), when values that can be read back on
    // demand may leave memory.
    virtual void awakeFromInsert() { }
    virtual void awakeFromFetch() { }
    virtual void didSynchronizeWithStore() { }
    // Deletion: before the context marks the record and its destinations deleted.
    virtual void prepareForDeletion() { }
    // The record turns back into a fault: its lazy values and lazy destinations go.
    virtual void releaseLazyValues() { }

protected:
    Record(const EntityDescription &entity, ObjectContext *context);

    void didChangeValueForKey(const QString &key);
    // A relationship changed; the records on its other side changed with it.
    void didChangeValueForKey(const QString &key, const QList<Record *> &objects);

private:
    friend class ObjectContext;
    friend class StoreWriter;
    friend class StoreReader;

    const EntityDescription *m_entity;
    ObjectContext *m_context;
    qint64 m_rowId = 0;
    State m_state = State::Inserted;
    bool m_isFault = false;
    // Whether the record is among its context's changes waiting for the next save.
    bool m_isChanged = false;
    // How many places the record holds in its context's queue of records holding lazy values.
    quint16 m_placesHoldingLazyValues = 0;
    // Made when first asked for: most records never are, and 100,000 entries would otherwise
    // hold one allocation each for it.
    mutable std::shared_ptr<const void> m_lifetime;
};
