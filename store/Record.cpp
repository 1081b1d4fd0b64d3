#include "store/Record.h"

#include <QDateTime>

#include "store/ObjectContext.h"

Record::Record(Entity entity, ObjectContext *context)
    : m_entity(entity)
    , m_context(context)
{
}

Record::~Record() = default;

void Record::willChangeValueForKey(const QString &)
{
}

void Record::didChangeValueForKey(const QString &key)
{
    m_context->recordDidChange(this, key);
}

void Record::didChangeValueForKey(const QString &key, SetMutation, const QList<Record *> &objects)
{
    m_context->recordDidChange(this, key);
    for (Record *object : objects) {
        // The inverse relationship changed with the set, so the other side needs saving too.
        m_context->recordDidChange(object, QString());
    }
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

std::optional<QString> toOptionalString(const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        return std::nullopt;
    }
    return value.toString();
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
