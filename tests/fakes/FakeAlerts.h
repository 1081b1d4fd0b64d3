#pragma once

#include <QStringList>

#include "platform/Alerts.h"

// Answers the program's dialogs as a test scripted them and records what was shown.
class FakeAlerts : public Alerts
{
public:
    bool presentError(const QString &message) override
    {
        presentedErrors.append(message);
        return recoverFromErrors;
    }

    Response runAlertPanel(const QString &title, const QString &message, const QString &defaultButton,
                           const QString &alternateButton) override
    {
        panels.append({title, message, defaultButton, alternateButton});
        return panelAnswer;
    }

    struct Panel
    {
        QString title;
        QString message;
        QString defaultButton;
        QString alternateButton;
    };

    bool recoverFromErrors = false;
    Response panelAnswer = Response::Default;
    QStringList presentedErrors;
    QList<Panel> panels;
};
