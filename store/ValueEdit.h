#pragma once

#include <QUndoCommand>
#include <QVariant>

class Record;

// An edit of one value of a record, made in a window, that undo and redo can replay.
class ValueEdit : public QUndoCommand
{
public:
    ValueEdit(Record *record, const QString &key, const QVariant &value);

    void undo() override;
    void redo() override;

private:
    Record *m_record;
    QString m_key;
    QVariant m_oldValue;
    QVariant m_newValue;
};
