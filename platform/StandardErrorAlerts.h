#pragma once

#include "platform/Alerts.h"

// Alerts for a process without windows: each message becomes one line on standard error,
// nobody can recover from an error, and every question takes its default answer (so a
// failed save at quit answers "Quit anyway" instead of waiting for a click nobody can give);
// a choice from a list picks nothing.
class StandardErrorAlerts : public Alerts
{
public:
    bool presentError(const QString &message) override;
    Response runAlertPanel(const QString &title, const QString &message, const QString &defaultButton,
                           const QString &alternateButton) override;
    int chooseItem(const QString &title, const QString &message, const QStringList &choices) override;

    // Writes "rss-brevlin: message" as a single line, line breaks inside the message made spaces.
    static void printLine(const QString &message);
};
