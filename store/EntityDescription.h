#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "store/SqliteStatement.h"

class ObjectContext;
class Record;
struct EntityDescription;

// How an attribute is kept in the store.
enum class AttributeType {
    String,  // TEXT
    Date,    // INTEGER, milliseconds since the epoch, UTC
    Bool,    // INTEGER, 0 or 1
    Integer, // INTEGER, a whole number
    // TEXT in a table of its own, so that loading the records never reads it; it is
    // written with a new record and read back when someone asks for it.
    Utf8Text,
};

// One stored attribute of an entity. Its key names it for by-key access, for exports
// and, in the entity's table, as the column.
struct AttributeDescription
{
    QString key;
    AttributeType type = AttributeType::String;
    // Left out of exports (logins and passwords).
    bool secret = false;
    // Left out when the records load, and read with the record's other lazy values the first
    // time one of them is asked for (see Record::fireFault).
    bool lazy = false;
    // Left out of exports too: what the program keeps for itself, which exports say otherwise.
    bool hidden = false;
    // The store's access: the value as it is, no side effects.
    std::function<void(Record &, const SqliteStatement &, int column)> load;
    std::function<void(const Record &, SqliteStatement &, int index)> bind;
    // By-key access, as windows and the undo stack use it: reads as the getter does and
    // writes through the setter, side effects included. Without a setter the attribute is
    // read-only by key.
    std::function<QVariant(const Record &)> value;
    std::function<void(Record &, const QVariant &)> setValue;
};

// A to-many relationship from a record to the records of another entity, which name
// their source by its row id in their parent column.
struct RelationshipDescription
{
    // A function, so that entities can refer to each other before both exist.
    const EntityDescription &(*destination)() = nullptr;
    // Destinations keep the order in which they were stored.
    bool ordered = false;
    // The store's access, no side effects. attach links a loaded destination to its
    // source and takes it when the source owns its destinations (see ObjectContext).
    std::function<void(Record &source, std::unique_ptr<Record> &destination)> attach;
    std::function<qsizetype(const Record &source)> count;
    std::function<Record *(const Record &source, qsizetype index)> at;
    // Whether the source owns the destinations; otherwise the context does.
    bool owning = false;
    // Drops every destination from the source, when the context deletes the source.
    std::function<void(Record &source)> clear;
    // Loaded with the source's lazy attributes rather than with the source; an owning
    // relationship only, whose destinations never change once stored.
    bool lazy = false;
};

// An entity of the store: its table, its attributes and relationships, and how to
// make its records. The model declares each one once; the store reads, writes, looks up
// and exports records through it only.
struct EntityDescription
{
    QString table;
    std::function<std::unique_ptr<Record>(ObjectContext *)> create;
    std::vector<AttributeDescription> attributes;
    std::vector<RelationshipDescription> relationships;
    // For the destinations of a relationship: the source's entity, the column holding the
    // source's row id, and the source of a record (none once it has been detached).
    const EntityDescription &(*parentEntity)() = nullptr;
    QString parentColumn;
    std::function<Record *(const Record &)> parent;
    // A String attribute that the store can look up quickly ("is this one stored yet?").
    QString identifierKey;
    // Where the Utf8Text attribute lives: its table, keyed by the record's row id in ownerColumn.
    QString textTable;
    QString textOwnerColumn;

    const AttributeDescription *attribute(const QString &key) const;
    const AttributeDescription *textAttribute() const;
    // Whether its records load as faults: some attribute or relationship is lazy.
    bool hasLazyValues() const;
};

// Helpers for the by-key access of the records: absent values travel as invalid
// QVariants, present ones (empty strings included) as their value.
namespace RecordValue {
QVariant fromOptional(const std::optional<QString> &value);
QVariant fromOptional(const std::optional<QDateTime> &value);
QVariant fromOptional(bool value);
QVariant fromOptional(const std::optional<qint64> &value);
std::optional<QString> toOptionalString(const QVariant &value);
std::optional<qint64> toOptionalInteger(const QVariant &value);
std::optional<QDateTime> toOptionalDate(const QVariant &value);
} // namespace RecordValue

namespace StoredValue {
void load(const SqliteStatement &statement, int column, std::optional<QString> &value);
void load(const SqliteStatement &statement, int column, std::optional<QDateTime> &value);
void load(const SqliteStatement &statement, int column, std::optional<bool> &value);
void load(const SqliteStatement &statement, int column, std::optional<qint64> &value);
void bind(SqliteStatement &statement, int index, const std::optional<QString> &value);
void bind(SqliteStatement &statement, int index, const std::optional<QDateTime> &value);
void bind(SqliteStatement &statement, int index, const std::optional<bool> &value);
void bind(SqliteStatement &statement, int index, const std::optional<qint64> &value);
void bind(SqliteStatement &statement, int index, const std::optional<QByteArray> &value);

template<class T> constexpr AttributeType typeOf()
{
    if constexpr (std::is_same_v<T, QString>) {
        return AttributeType::String;
    } else if constexpr (std::is_same_v<T, QDateTime>) {
        return AttributeType::Date;
    } else if constexpr (std::is_same_v<T, bool>) {
        return AttributeType::Bool;
    } else if constexpr (std::is_same_v<T, qint64>) {
        return AttributeType::Integer;
    } else {
        static_assert(std::is_same_v<T, QByteArray>,
                      "a stored attribute is a string, a date, a flag, a number or a text");
        return AttributeType::Utf8Text;
    }
}

template<class Argument> Argument fromVariant(const QVariant &value)
{
    if constexpr (std::is_same_v<Argument, bool>) {
        return value.toBool();
    } else if constexpr (std::is_same_v<Argument, std::optional<QDateTime>>) {
        return RecordValue::toOptionalDate(value);
    } else if constexpr (std::is_same_v<Argument, std::optional<qint64>>) {
        return RecordValue::toOptionalInteger(value);
    } else {
        return RecordValue::toOptionalString(value);
    }
}

template<class R, class Argument> Argument argumentOf(void (R::*)(Argument));
} // namespace StoredValue

namespace StoredValue {
// The description of an attribute reached through access, a function from the record to
// the value it keeps; see attribute() and lazyAttribute().
template<class R, class T, class Access, class Setter, class Getter>
AttributeDescription describe(const char *key, Access access, Setter setter, Getter getter)
{
    AttributeDescription description;
    description.key = QString::fromLatin1(key);
    description.type = typeOf<T>();
    if constexpr (!std::is_same_v<T, QByteArray>) {
        description.load = [access](Record &record, const SqliteStatement &statement, int column) {
            load(statement, column, access(static_cast<R &>(record)));
        };
    }
    description.bind = [access](const Record &record, SqliteStatement &statement, int index) {
        bind(statement, index, std::as_const(access(const_cast<R &>(static_cast<const R &>(record)))));
    };
    if constexpr (std::is_same_v<Getter, std::nullptr_t>) {
        description.value = [access](const Record &record) {
            return RecordValue::fromOptional(access(const_cast<R &>(static_cast<const R &>(record))));
        };
    } else {
        description.value = [getter](const Record &record) {
            return RecordValue::fromOptional((static_cast<const R &>(record).*getter)());
        };
    }
    if constexpr (!std::is_same_v<Setter, std::nullptr_t>) {
        using Argument = std::decay_t<decltype(argumentOf(setter))>;
        description.setValue = [setter](Record &record, const QVariant &value) {
            (static_cast<R &>(record).*setter)(fromVariant<Argument>(value));
        };
    }
    return description;
}
} // namespace StoredValue

// One line of an entity's attribute table: the key (also the column), the member the
// store reads and writes, the setter by-key writes go through (nullptr: read-only by key)
// and, where the by-key read is not the member itself, the getter.
template<class R, class T, class Setter, class Getter = std::nullptr_t>
AttributeDescription attribute(const char *key, std::optional<T> R::*member, Setter setter, Getter getter = nullptr)
{
    const auto access = [member](R &record) -> std::optional<T> & { return record.*member; };
    return StoredValue::describe<R, T>(key, access, setter, getter);
}

// A lazy attribute, kept in a part of the record that exists while the record is not a fault:
// part gives that part (making it when missing, without reading the store), member the value
// in it. The getter, which fires the fault, is what by-key reads go through.
template<class R, class Part, class T, class Setter, class Getter>
AttributeDescription lazyAttribute(const char *key, Part &(R::*part)() const, std::optional<T> Part::*member,
                                   Setter setter, Getter getter)
{
    const auto access = [part, member](R &record) -> std::optional<T> & { return (record.*part)().*member; };
    AttributeDescription description = StoredValue::describe<R, T>(key, access, setter, getter);
    description.lazy = true;
    return description;
}

// An attribute few records have, kept in a part made only for those that have it: part gives
// that part (making it when missing), member the value in it, getter the value without making
// the part. Records without the value never get the part, from the store or from a save.
template<class R, class Part, class T, class Setter, class Getter>
AttributeDescription sparseAttribute(const char *key, Part &(R::*part)(), std::optional<T> Part::*member, Setter setter,
                                     Getter getter)
{
    const auto access = [part, member](R &record) -> std::optional<T> & { return (record.*part)().*member; };
    AttributeDescription description = StoredValue::describe<R, T>(key, access, setter, getter);
    description.load = [access, getter](Record &record, const SqliteStatement &statement, int column) {
        std::optional<T> value;
        StoredValue::load(statement, column, value);
        auto &sparse = static_cast<R &>(record);
        if (value || (sparse.*getter)()) {
            access(sparse) = std::move(value);
        }
    };
    description.bind = [getter](const Record &record, SqliteStatement &statement, int index) {
        StoredValue::bind(statement, index, (static_cast<const R &>(record).*getter)());
    };
    return description;
}

inline AttributeDescription secret(AttributeDescription description)
{
    description.secret = true;
    return description;
}

inline AttributeDescription hidden(AttributeDescription description)
{
    description.hidden = true;
    return description;
}
