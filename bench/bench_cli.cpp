// Checking through the command line: 200 feeds of 50 items served by a web server in
// another process on 127.0.0.1, checked by `rss-brevlin --check-once` twice (the first
// check stores everything, the second finds nothing new). Times and memory are the child's.

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "BenchSupport.h"
#include "tests/support/TestSupport.h"

extern char **environ;

namespace {

constexpr int feedCount = 200;
constexpr int itemsPerFeed = 50;

QByteArray feedDocument(int feed)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>\n<title>Bench feed "
        + QByteArray::number(feed) + "</title>\n<link>http://bench.example.org/" + QByteArray::number(feed)
        + "/</link>\n<generator>bench</generator>\n";
    const QDateTime newest(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());
    for (int i = 0; i < itemsPerFeed; ++i) {
        const QByteArray id = QByteArray::number(feed) + '-' + QByteArray::number(i);
        xml += "<item><title>Entry " + id
            + " about &amp; things</title>"
              "<link>http://bench.example.org/"
            + id
            + "</link>"
              "<guid isPermaLink=\"false\">bench-"
            + id
            + "</guid>"
              "<pubDate>"
            + newest.addSecs(-3600LL * i).toString(Qt::RFC2822Date).toLatin1()
            + "</pubDate>"
              "<author>writer@example.org (Writer "
            + QByteArray::number(i % 7)
            + ")</author>"
              "<description>&lt;p&gt;Paragraph of entry "
            + id
            + " with a "
              "&lt;a href=\"http://bench.example.org/more/"
            + id
            + "\"&gt;link&lt;/a&gt; and some words "
              "to make it the length of a real summary, more or less, as feeds send them.&lt;/p&gt;"
              "&lt;p&gt;See rdar://problem/"
            + QByteArray::number(1000 + i)
            + " for details.&lt;/p&gt;"
              "</description></item>\n";
    }
    return xml + "</channel></rss>\n";
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitForServer(quint16 port)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(100)) {
            return true;
        }
        QThread::msleep(100);
    }
    return false;
}

struct ChildRun
{
    int exitCode = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double peakMegabytes = 0;
};

// Runs the program with its standard output in a file; wait4 gives the child's own usage.
ChildRun runProgram(const QStringList &arguments, const QString &outputPath)
{
    QList<QByteArray> storage{TestSupport::binaryPath().toLocal8Bit()};
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
int storedEntries(const QString &outputPath)
{
    QFile file(outputPath);
    file.open(QIODevice::ReadOnly);
    int total = 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        total += line.split('\t').value(1).toInt();
    }
    return total;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("site"));
    QDir().mkpath(site);
    const quint16 port = freePort();
    QByteArray opml = "<?xml version=\"1.0\"?>\n<opml version=\"2.0\"><head><title>bench</title></head><body>\n";
    for (int feed = 0; feed < feedCount; ++feed) {
        const QString name = QStringLiteral("feed-%1.xml").arg(feed);
        writeFile(site + QLatin1Char('/') + name, feedDocument(feed));
        opml += "<outline type=\"rss\" text=\"Feed " + QByteArray::number(feed)
            + "\" xmlUrl=\"http://127.0.0.1:" + QByteArray::number(port) + '/' + name.toLatin1() + "\"/>\n";
    }
    writeFile(dir.filePath(QStringLiteral("feeds.opml")), opml + "</body></opml>\n");

    QProcess server;
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(QStringLiteral("python3"),
                 {QStringLiteral("-m"), QStringLiteral("http.server"), QStringLiteral("--bind"),
                  QStringLiteral("127.0.0.1"), QStringLiteral("--directory"), site, QString::number(port)});
    if (!server.waitForStarted() || !waitForServer(port)) {
        std::fprintf(stderr, "bench_cli: the web server did not start\n");
        return 1;
    }
    for (const char *name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) {
        qputenv(name, dir.filePath(QString::fromLatin1(name)).toLocal8Bit());
    }
    const QString output = dir.filePath(QStringLiteral("output.txt"));
    const ChildRun import =
        runProgram({QStringLiteral("--import-opml"), dir.filePath(QStringLiteral("feeds.opml"))}, output);
    const ChildRun first = runProgram({QStringLiteral("--check-once")}, output);
    const int firstStored = storedEntries(output);
    const ChildRun second = runProgram({QStringLiteral("--check-once")}, output);
    const int secondStored = storedEntries(output);
    server.terminate();
    server.waitForFinished();

    if (import.exitCode != 0 || first.exitCode != 0 || second.exitCode != 0 || firstStored != feedCount * itemsPerFeed
        || secondStored != 0) {
        std::fprintf(stderr, "bench_cli: unexpected outcome: exit codes %d %d %d, stored %d then %d\n", import.exitCode,
                     first.exitCode, second.exitCode, firstStored, secondStored);
        return 1;
    }
    Bench::report("cli_check_first_wall_s", first.wallSeconds, "s");
    Bench::report("cli_check_first_cpu_s", first.cpuSeconds, "s");
    Bench::report("cli_check_second_wall_s", second.wallSeconds, "s");
    Bench::report("cli_check_second_cpu_s", second.cpuSeconds, "s");
    Bench::report("cli_check_peak_rss_mb", qMax(first.peakMegabytes, second.peakMegabytes), "MB");
    return 0;
}
