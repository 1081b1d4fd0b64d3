#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/TestSupport.h"

extern char **environ;

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

// Runs the program with its standard output in a file; wait4 gives the child's own usage.
inline ChildRun runProgram(const QStringList &arguments, const QString &outputPath)
{
    QList<QByteArray> storage{programPath().toLocal8Bit()};
    for (const QString &argument : arguments) {
        storage.append(argument.toLocal8Bit());
    }
    std::vector<char *> argv;
    for (QByteArray &argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray output = outputPath.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ChildRun run;
    QElapsedTimer wall;
    wall.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv.front(), &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        run.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
        run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        run.peakMegabytes = double(usage.ru_maxrss) / 1024.0;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
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
