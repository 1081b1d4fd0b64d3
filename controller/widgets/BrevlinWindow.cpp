#include "controller/widgets/BrevlinWindow.h"

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

void BrevlinWindow::makeKeyAndOrderFront()
{
    show();
    raise();
    activateWindow();
}

void BrevlinWindow::setFloating(bool floating)
{
    if (floating == isFloating()) {
        return;
    }
    // Changing a window flag hides a shown window; it comes back where it was.
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, floating);
    if (wasVisible) {
        show();
    }
}

bool BrevlinWindow::isFloating() const
{
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void BrevlinWindow::closeEvent(QCloseEvent *event)
{
    commitFocusedEditor();
    event->accept();
}

void BrevlinWindow::commitFocusedEditor()
{
    if (QWidget *editor = focusWidget()) {
        // Line edits emit editingFinished when they lose the focus, and the table's
        // item editors hand their text to the model; that writes it to the record.
        editor->clearFocus();
    }
}
