#include "app/widgets/BrevlinWindow.h"

#include <QCloseEvent>

BrevlinWindow::BrevlinWindow(QWidget *parent)
    : QWidget(parent)
{
}

bool BrevlinWindow::close()
{
    commitFocusedEditor();
    return QWidget::close();
}

void BrevlinWindow::closeEvent(QCloseEvent *event)
{
    commitFocusedEditor();
    event->accept();
}

void BrevlinWindow::commitFocusedEditor()
{
    if (QWidget *editor = focusWidget()) {
        // Line edits emit editingFinished when they lose the focus; that is what
        // writes their text through to the record.
        editor->clearFocus();
    }
}
