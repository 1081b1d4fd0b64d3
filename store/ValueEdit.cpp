#include "store/ValueEdit.h"

#include "store/Record.h"

ValueEdit::ValueEdit(Record *record, const QString &key, const QVariant &value)
    : m_record(record)
    , m_key(key)
    , m_oldValue(record->valueForKey(key))
    , m_newValue(value)
{
    setText(key);
}

void ValueEdit::undo()
{
    m_record->setValueForKey(m_key, m_oldValue);
}

void ValueEdit::redo()
{
    m_record->setValueForKey(m_key, m_newValue);
}
