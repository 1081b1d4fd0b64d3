#include "platform/StandardErrorAlerts.h"

#include <cstdio>

bool StandardErrorAlerts::presentError(const QString &message)
{
    printLine(message);
    return false;
}

Alerts::Response StandardErrorAlerts::runAlertPanel(const QString &title, const QString &message,
                                                    const QString &defaultButton, const QString &)
{
    const QString answered = QStringLiteral("%1 (%2)").arg(message, defaultButton);
    printLine(title.isEmpty() ? answered : title + QStringLiteral(": ") + answered);
    return Response::Default;
}

int StandardErrorAlerts::chooseItem(const QString &title, const QString &message, const QStringList &choices)
{
    printLine(QStringLiteral("%1: %2 %3 (none chosen)").arg(title, message, choices.join(QStringLiteral(", "))));
    return -1;
}

void StandardErrorAlerts::printLine(const QString &message)
{
    // Parser and database messages often end in or contain line breaks; a log reader
    // expects one line per message.
    const QString line = message.simplified();
    std::fprintf(stderr, "rss-brevlin: %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}
