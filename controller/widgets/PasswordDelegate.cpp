#include "controller/widgets/PasswordDelegate.h"

#include <QLineEdit>

PasswordDelegate::PasswordDelegate(int passwordRole, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_passwordRole(passwordRole)
{
}

QWidget *PasswordDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *editor = new QLineEdit(parent);
    editor->setEchoMode(QLineEdit::Password);
    editor->setFrame(false);
    return editor;
}

void PasswordDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    static_cast<QLineEdit *>(editor)->setText(index.data(m_passwordRole).toString());
}
