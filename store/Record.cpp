#include "store/Record.h"

#include "store/ObjectContext.h"
#include "store/StoreLog.h"

Record::Record(const EntityDescription &entity, ObjectContext *context)
    : m_entity(&entity)
    , m_context(context)
{
}

Record::~Record()
{
    if (m_placesHoldingLazyValues != 0) {
        m_context->forgetHoldingLazyValues(this);
    }
}

std::weak_ptr<const void> Record::lifetime() const
{
    if (!m_lifetime) {
        m_lifetime = std::make_shared<char>();
    }
    return m_lifetime;
}

void Record::fireFault() const
{
    if (m_isFault) {
        m_context->fireFault(const_cast<Record &>(*this));
    }
}

QVariant Record::valueForKey(const QString &key) const
{
    if (const AttributeDescription *attribute = m_entity->attribute(key)) {
        return attribute->value(*this);
    }
    qCWarning(lcStore, "%s::valueForKey: unknown key %s", qPrintable(m_entity->table), qPrintable(key));
    return {};
}

void Record::setValueForKey(const QString &key, const QVariant &value)
{
    const AttributeDescription *attribute = m_entity->attribute(key);
    if (!attribute || !attribute->setValue) {
        qCWarning(lcStore, "%s::setValueForKey: unknown or read-only key %s", qPrintable(m_entity->table),
                  qPrintable(key));
        return;
    }
    attribute->setValue(*this, value);
}

void Record::didChangeValueForKey(const QString &key)
{
    m_context->recordDidChange(this, key);
}

void Record::didChangeValueForKey(const QString &key, const QList<Record *> &objects)
{
    m_context->recordDidChange(this, key);
    for (Record *object : objects) {
        // The inverse relationship changed with the set, so the other side needs saving too.
        m_context->recordDidChange(object, QString());
    }
}
