#include "model/SubLink.h"

SubLink::SubLink(ObjectContext *context)
    : Record(Entity::SubLink, context)
{
}

void SubLink::setLink(const std::optional<QString> &link)
{
    m_link = link;
}

void SubLink::setText(const std::optional<QString> &text)
{
    m_text = text;
}

QVariant SubLink::valueForKey(const QString &key) const
{
    if (key == QLatin1String("link")) {
        return RecordValue::fromOptional(m_link);
    }
    if (key == QLatin1String("text")) {
        return RecordValue::fromOptional(m_text);
    }
    qWarning("SubLink::valueForKey: unknown key %s", qPrintable(key));
    return {};
}

void SubLink::setValueForKey(const QString &key, const QVariant &value)
{
    if (key == QLatin1String("link")) {
        setLink(RecordValue::toOptionalString(value));
    } else if (key == QLatin1String("text")) {
        setText(RecordValue::toOptionalString(value));
    } else {
        qWarning("SubLink::setValueForKey: unknown key %s", qPrintable(key));
    }
}
