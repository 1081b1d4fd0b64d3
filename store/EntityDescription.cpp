#include "store/EntityDescription.h"

#include <QTimeZone>

#include <algorithm>

const AttributeDescription *EntityDescription::attribute(const QString &key) const
{
    for (const AttributeDescription &description : attributes) {
        if (description.key == key) {
            return &description;
        }
    }
    return nullptr;
}

const AttributeDescription *EntityDescription::textAttribute() const
{
    for (const AttributeDescription &description : attributes) {
        if (description.type == AttributeType::Utf8Text) {
            return &description;
        }
    }
    return nullptr;
}

bool EntityDescription::hasLazyValues() const
{
    return std::any_of(attributes.cbegin(), attributes.cend(), [](const auto &a) { return a.lazy; })
        || std::any_of(relationships.cbegin(), relationships.cend(), [](const auto &r) { return r.lazy; });
}

namespace RecordValue {

QVariant fromOptional(const std::optional<QString> &value)
{
    return value ? QVariant(*value) : QVariant();
}

QVariant fromOptional(const std::optional<QDateTime> &value)
{
    return value ? QVariant(*value) : QVariant();
}

QVariant fromOptional(bool value)
{
    return value;
}

QVariant fromOptional(const std::optional<qint64> &value)
{
    return value ? QVariant(*value) : QVariant();
}

std::optional<QString> toOptionalString(const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        return std::nullopt;
    }
    return value.toString();
}

std::optional<qint64> toOptionalInteger(const QVariant &value)
{
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    if (!value.isValid() || value.isNull() || !ok) {
        return std::nullopt;
    }
    return number;
}

std::optional<QDateTime> toOptionalDate(const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        return std::nullopt;
    }
    QDateTime date = value.toDateTime();
    if (!date.isValid()) {
        return std::nullopt;
    }
    return date.toUTC();
}

} // namespace RecordValue

namespace StoredValue {

void load(const SqliteStatement &statement, int column, std::optional<QString> &value)
{
    value = statement.optionalText(column);
}

void load(const SqliteStatement &statement, int column, std::optional<QDateTime> &value)
{
    if (statement.isNull(column)) {
        value.reset();
    } else {
        // Qt::UTC rather than QTimeZone::utc(): the time zone costs every loaded date a private
        // part of its own, and there is one date per entry.
        value = QDateTime::fromMSecsSinceEpoch(statement.integer(column), Qt::UTC);
    }
}

void load(const SqliteStatement &statement, int column, std::optional<bool> &value)
{
    if (statement.isNull(column)) {
        value.reset();
    } else {
        value = statement.integer(column) != 0;
    }
}

void load(const SqliteStatement &statement, int column, std::optional<qint64> &value)
{
    if (statement.isNull(column)) {
        value.reset();
    } else {
        value = statement.integer(column);
    }
}

void bind(SqliteStatement &statement, int index, const std::optional<QString> &value)
{
    if (value) {
        statement.bind(index, *value);
    } else {
        statement.bindNull(index);
    }
}

void bind(SqliteStatement &statement, int index, const std::optional<QDateTime> &value)
{
    if (value) {
        statement.bind(index, value->toMSecsSinceEpoch());
    } else {
        statement.bindNull(index);
    }
}

void bind(SqliteStatement &statement, int index, const std::optional<bool> &value)
{
    if (value) {
        statement.bind(index, qint64(*value));
    } else {
        statement.bindNull(index);
    }
}

void bind(SqliteStatement &statement, int index, const std::optional<qint64> &value)
{
    if (value) {
        statement.bind(index, *value);
    } else {
        statement.bindNull(index);
    }
}

void bind(SqliteStatement &statement, int index, const std::optional<QByteArray> &value)
{
    if (value) {
        statement.bindUtf8(index, *value);
    } else {
        statement.bindNull(index);
    }
}

} // namespace StoredValue
