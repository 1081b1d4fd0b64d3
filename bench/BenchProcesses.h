#pragma once

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>

#include <unistd.h>

#include "tests/support/TestSupport.h"

// The program under measure, run as a child: one command to its end, or the long-running
// program followed from the outside.
namespace Bench {

struct ChildRun
{
    int exitCode = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakMegabytes = 0;
};

// The program measured: the one built beside the benchmarks, unless a run names another
// (a build to compare with).
inline QString &programPath()
{
    static QString path = TestSupport::binaryPath();
    return path;
}

// Runs the program with its standard output in a file, under /usr/bin/time, which reports the
// child's own usage: a child forked from this process would count this one's memory in its peak
// (the kernel keeps the larger of the two across exec).
inline ChildRun runProgram(const QStringList &arguments, const QString &outputPath)
{
    QTemporaryFile usageFile;
    usageFile.open();
    QProcess time;
    time.setStandardOutputFile(outputPath);
    time.setStandardErrorFile(QProcess::nullDevice());
    time.start(QStringLiteral("/usr/bin/time"),
               QStringList{QStringLiteral("-f"), QStringLiteral("%e %U %S %M"), QStringLiteral("-o"),
                           usageFile.fileName(), programPath()}
                   + arguments);
    ChildRun run;
    if (!time.waitForStarted() || !time.waitForFinished(-1)) {
        return run;
    }
    run.exitCode = time.exitStatus() == QProcess::NormalExit ? time.exitCode() : -1;
    const QList<QByteArray> usage = usageFile.readAll().trimmed().split('\n').last().split(' ');
    run.wallSeconds = usage.value(0).toDouble();
    run.cpuSeconds = usage.value(1).toDouble() + usage.value(2).toDouble();
    run.peakMegabytes = usage.value(3).toDouble() / 1024.0;
    return run;
}

// The sum of the "new entries" column of --check-once's output.
inline int storedEntries(const QString &outputPath)
{
    QFile file(outputPath);
    file.open(QIODevice::ReadOnly);
    int total = 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        total += line.split('\t').value(1).toInt();
    }
    return total;
}

struct ProcessFigures
{
    double cpuSeconds = 0;
    double residentMegabytes = 0;
    double peakMegabytes = 0;
};

inline ProcessFigures processFigures(qint64 pid)
{
    ProcessFigures figures;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        // utime and stime are the 14th and 15th fields; the name before them may hold spaces.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        figures.cpuSeconds = (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            const auto megabytes = [&line] { return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0; };
            if (line.startsWith("VmRSS:")) {
                figures.residentMegabytes = megabytes();
            } else if (line.startsWith("VmHWM:")) {
                figures.peakMegabytes = megabytes();
            }
        }
    }
    return figures;
}

// Waits until the program has spent no CPU for a second (its start-up check is over), reading
// what it writes meanwhile into log.
inline ProcessFigures waitUntilQuiet(QProcess &program, QByteArray &log)
{
    double last = -1;
    int quietPolls = 0;
    for (int poll = 0; poll < 3000 && quietPolls < 10; ++poll) {
        program.waitForFinished(100);
        log += program.readAll();
        const double now = processFigures(program.processId()).cpuSeconds;
        quietPolls = now == last ? quietPolls + 1 : 0;
        last = now;
    }
    return processFigures(program.processId());
}

inline void endProgram(QProcess &program)
{
    program.terminate();
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished();
    }
}

} // namespace Bench
