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

    int chooseItem(const QString &title, const QString &message, const QStringList &choices) override
    {
        choicesShown.append({title, message, choices});
        return chosenItem;
    }

    struct Panel
    {
        QString title;
        QString message;
        QString defaultButton;
        QString alternateButton;
    };

    bool recoverFromErrors = false;
    struct Choice
    {
        QString title;
        QString message;
        QStringList items;
    };

    Response panelAnswer = Response::Default;
    int chosenItem = -1;
    QList<Choice> choicesShown;
    QStringList presentedErrors;
    QList<Panel> panels;
};
