#pragma once

#include <QString>

// The modal dialogs the program shows: error presentation and two-button alerts.
// Tests answer them through a fake.
class Alerts
{
public:
    enum class Response { Default, Alternate };

    virtual ~Alerts() = default;

    // Shows an error; returns whether the user recovered from it.
    virtual bool presentError(const QString &message) = 0;
    virtual Response runAlertPanel(const QString &title, const QString &message, const QString &defaultButton,
                                   const QString &alternateButton) = 0;
};
