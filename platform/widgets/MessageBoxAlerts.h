#pragma once

#include "platform/Alerts.h"

// Alerts as QMessageBox and QInputDialog dialogs that stay above other windows.
class MessageBoxAlerts : public Alerts
{
public:
    bool presentError(const QString &message) override;
    Response runAlertPanel(const QString &title, const QString &message, const QString &defaultButton,
                           const QString &alternateButton) override;
    int chooseItem(const QString &title, const QString &message, const QStringList &choices) override;
};
