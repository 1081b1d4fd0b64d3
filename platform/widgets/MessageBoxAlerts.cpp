#include "platform/widgets/MessageBoxAlerts.h"

#include <QMessageBox>
#include <QPushButton>

bool MessageBoxAlerts::presentError(const QString &message)
{
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
