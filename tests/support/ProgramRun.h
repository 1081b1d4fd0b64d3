#pragma once

// Runs the real program as a child process, for the tests that drive the command line.

#include <QEventLoop>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTimer>

#include <optional>

#include "tests/support/TestSupport.h"

namespace TestSupport {

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
    bool finished = false;
};

// Runs the program with the current (temporary) XDG folders, or the given environment,
// keeping this process's event loop turning so that the test's HTTP server (or bus object)
// answers meanwhile. A child still running at the timeout is killed. standardInput, when given,
// is written to the child and its input closed.
inline Outcome runProgram(const QStringList &arguments, int timeoutMs = 120'000,
                          const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                          const std::optional<QByteArray> &standardInput = std::nullopt)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    process.start(binaryPath(), arguments);
    if (standardInput) {
        process.write(*standardInput);
        process.closeWriteChannel();
    }
    if (process.state() != QProcess::NotRunning) {
        loop.exec();
    }
    Outcome outcome;
    outcome.finished = process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
    if (!outcome.finished) {
        process.kill();
        process.waitForFinished();
    }
    outcome.exitCode = process.exitCode();
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

// Where the program keeps its store when it runs under home.
inline QString storeFolder(const TemporaryHome &home)
{
    return home.dataHome() + QStringLiteral("/Rss_Brevlin");
}

inline QString storePath(const TemporaryHome &home)
{
    return storeFolder(home) + QStringLiteral("/Rss_Brevlin.sql");
}

inline QString describe(const Outcome &outcome)
{
    return QStringLiteral("exit %1, stdout [%2], stderr [%3]").arg(outcome.exitCode).arg(outcome.out, outcome.err);
}

} // namespace TestSupport

#define RUN_OK(outcome, ...)                                                                                           \
    const Outcome outcome = runProgram(__VA_ARGS__);                                                                   \
    QVERIFY2(outcome.finished &&outcome.exitCode == 0, qPrintable(describe(outcome)))
