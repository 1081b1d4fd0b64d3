#pragma once

#include <QString>
#include <QStringList>

// The modal dialogs the program shows: error presentation, two-button alerts and a choice
// from a list.
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
    // Lets the user pick one of choices: the index of the one picked, or -1 when none was.
    virtual int chooseItem(const QString &title, const QString &message, const QStringList &choices) = 0;
};
