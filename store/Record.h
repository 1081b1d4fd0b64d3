#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class ObjectContext;

// A record of the object store: its row in the store file and its place among the
// context's pending changes. Attributes are read and written by key so bound
// windows and the undo stack can reach the custom setters.
class Record
{
public:
    enum class Entity { Feed, Item, SubLink };
    enum class State { Saved, Inserted, Updated, Deleted };
    enum class SetMutation { Union = 1, Minus = 2 };

    virtual ~Record();
    Record(const Record &) = delete;
    Record &operator=(const Record &) = delete;

    Entity entity() const { return m_entity; }
    ObjectContext *managedObjectContext() const { return m_context; }
    qint64 rowId() const { return m_rowId; }
    State state() const { return m_state; }
    // Expires when the record is freed. A save frees entries that left their feed while menus
    // built from them may still be open, so whatever outlives a record holds this beside it.
    std::weak_ptr<const void> lifetime() const { return m_lifetime; }

    virtual QVariant valueForKey(const QString &key) const = 0;
    virtual void setValueForKey(const QString &key, const QVariant &value) = 0;

protected:
    Record(Entity entity, ObjectContext *context);

    void willChangeValueForKey(const QString &key);
    void didChangeValueForKey(const QString &key);
    void didChangeValueForKey(const QString &key, SetMutation mutation, const QList<Record *> &objects);

private:
    friend class ObjectContext;
    friend class StoreWriter;
    friend class StoreReader;

    Entity m_entity;
    ObjectContext *m_context;
    qint64 m_rowId = 0;
    State m_state = State::Inserted;
    std::shared_ptr<const void> m_lifetime = std::make_shared<char>();
};

// Helpers for the by-key access of the records: absent values travel as invalid
// QVariants, present ones (empty strings included) as their value.
namespace RecordValue {
QVariant fromOptional(const std::optional<QString> &value);
QVariant fromOptional(const std::optional<QDateTime> &value);
std::optional<QString> toOptionalString(const QVariant &value);
std::optional<QDateTime> toOptionalDate(const QVariant &value);
}
