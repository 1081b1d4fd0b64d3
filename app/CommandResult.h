#pragma once

#include <QString>
#include <QStringList>

// How a command of the command line ended: the process's exit code and, for a failure,
// the one line to show on standard error (empty when the failure was already reported).
struct CommandResult
{
    enum ExitCode { Success = 0, Failure = 1, Usage = 2 };

    int exitCode = Success;
    QString message;
    // Lines for standard error that come before the message, whatever the outcome.
    QStringList warnings;

    static CommandResult success() { return {}; }
    static CommandResult failure(const QString &message = QString()) { return {Failure, message, {}}; }
    static CommandResult usage(const QString &message) { return {Usage, message, {}}; }
};
