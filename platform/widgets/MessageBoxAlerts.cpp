#include "platform/widgets/MessageBoxAlerts.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "platform/PlatformLog.h"

bool MessageBoxAlerts::presentError(const QString &message)
{
    // Also in the session's log, where a dialog closed long ago can still be read.
    qCWarning(lcPlatform, "%s", qPrintable(message));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("RSS Brevlin"), message, QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    // The error dialog offers no recovery.
    return false;
}

Alerts::Response MessageBoxAlerts::runAlertPanel(const QString &title, const QString &message,
                                                 const QString &defaultButton, const QString &alternateButton)
{
    QMessageBox box(QMessageBox::Warning, title, message);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QPushButton *defaultChoice = box.addButton(defaultButton, QMessageBox::AcceptRole);
    box.addButton(alternateButton, QMessageBox::RejectRole);
    box.setDefaultButton(defaultChoice);
    box.exec();
    return box.clickedButton() == defaultChoice ? Response::Default : Response::Alternate;
}

int MessageBoxAlerts::chooseItem(const QString &title, const QString &message, const QStringList &choices)
{
    QInputDialog dialog;
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog.setWindowTitle(title);
    dialog.setLabelText(message);
    dialog.setComboBoxItems(choices);
    dialog.setComboBoxEditable(false);
    if (dialog.exec() != QDialog::Accepted) {
        return -1;
    }
    return int(choices.indexOf(dialog.textValue()));
}
