#pragma once

#include <QStyledItemDelegate>

// Edits a password in a masked line edit: the text never shows in clear, and the model
// hands it out only to this editor.
class PasswordDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit PasswordDelegate(int passwordRole, QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;

private:
    int m_passwordRole;
};
