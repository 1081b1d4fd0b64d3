// What the program costs as the store grows: 200, 1,000 and 2,000 generated feeds of 50
// entries of about 3 KB each, from a web server in another process on 127.0.0.1. For each
// size, a first `--check-once`, then `--list` and `--print-menu` on the store it filled; for
// 200 and 2,000 feeds also the tray program's and `--headless`'s start-up check on a fresh
// store and on the store it filled, followed from the outside until they spend no more CPU. CPU times are the child's
// own and fair on a shared machine; wall-clock times there are noisy. An argument names
// another build of the program to measure.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>

#include <cstdio>

#include "BenchProcesses.h"
#include "BenchSite.h"
#include "BenchSupport.h"

namespace {

constexpr int itemsPerFeed = 50;
// With the generated title, links and summary, about 3 KB per item.
constexpr int extraTextBytes = 2600;

QMap<QString, double> figures;

void report(int feeds, const char *name, double value, const char *unit)
{
    const QString key = QStringLiteral("scale_%1_%2").arg(feeds).arg(QLatin1String(name));
    figures.insert(QLatin1String(name) + QLatin1Char('@') + QString::number(feeds), value);
    Bench::report(qPrintable(key), value, unit);
}

bool measureCommands(int feeds, const Bench::FeedSite &site)
{
    const TestSupport::TemporaryHome home;
    const QString output = home.path() + QStringLiteral("/output.txt");
    if (Bench::runProgram({QStringLiteral("--import-opml"), site.opmlPath()}, output).exitCode != 0) {
        return false;
    }
    const Bench::ChildRun check = Bench::runProgram({QStringLiteral("--check-once")}, output);
    if (check.exitCode != 0 || Bench::storedEntries(output) != feeds * itemsPerFeed) {
        std::fprintf(stderr, "bench_scale: the check of %d feeds stored %d entries\n", feeds,
                     Bench::storedEntries(output));
        return false;
    }
    report(feeds, "check_first_wall_s", check.wallSeconds, "s");
    report(feeds, "check_first_cpu_s", check.cpuSeconds, "s");
    report(feeds, "check_first_peak_rss_mb", check.peakMegabytes, "MB");
    const Bench::ChildRun list = Bench::runProgram({QStringLiteral("--list")}, output);
    report(feeds, "list_wall_s", list.wallSeconds, "s");
    report(feeds, "list_cpu_s", list.cpuSeconds, "s");
    report(feeds, "list_peak_rss_mb", list.peakMegabytes, "MB");
    const Bench::ChildRun menu = Bench::runProgram({QStringLiteral("--print-menu")}, output);
    report(feeds, "print_menu_wall_s", menu.wallSeconds, "s");
    report(feeds, "print_menu_cpu_s", menu.cpuSeconds, "s");
    report(feeds, "print_menu_peak_rss_mb", menu.peakMegabytes, "MB");
    return list.exitCode == 0 && menu.exitCode == 0;
}

// Starts the program (tray: no arguments; or --headless) in the temporary home and follows its
// start-up check; name names its figures.
bool measureOneStart(int feeds, const QStringList &arguments, const QString &name)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("brevlin.controller.debug=true"));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    program.start(Bench::programPath(), arguments);
    if (!program.waitForStarted()) {
        return false;
    }
    QByteArray log;
    double firstMenuSeconds = -1;
    while (firstMenuSeconds < 0 && program.state() == QProcess::Running) {
        program.waitForReadyRead(100);
        log += program.readAll();
        if (log.contains("menu built")) {
            firstMenuSeconds = double(clock.nsecsElapsed()) / 1e9;
        }
    }
    const Bench::ProcessFigures started = Bench::waitUntilQuiet(program, log);
    // The last second was the quiet one.
    const double checkSeconds = double(clock.nsecsElapsed()) / 1e9 - 1.0;
    Bench::endProgram(program);
    report(feeds, qPrintable(name + QStringLiteral("_first_menu_s")), firstMenuSeconds, "s");
    report(feeds, qPrintable(name + QStringLiteral("_check_wall_s")), checkSeconds, "s");
    report(feeds, qPrintable(name + QStringLiteral("_check_cpu_s")), started.cpuSeconds, "s");
    report(feeds, qPrintable(name + QStringLiteral("_idle_rss_mb")), started.residentMegabytes, "MB");
    report(feeds, qPrintable(name + QStringLiteral("_peak_rss_mb")), started.peakMegabytes, "MB");
    return firstMenuSeconds >= 0;
}

// On a freshly imported store, and again on the store its first check filled: what a user who
// starts the program every day sees.
bool measureStartUp(int feeds, const Bench::FeedSite &site, const QStringList &arguments, const char *prefix)
{
    const TestSupport::TemporaryHome home;
    const QString output = home.path() + QStringLiteral("/output.txt");
    if (Bench::runProgram({QStringLiteral("--import-opml"), site.opmlPath()}, output).exitCode != 0) {
        return false;
    }
    const QString name = QLatin1String(prefix);
    return measureOneStart(feeds, arguments, name)
        && measureOneStart(feeds, arguments, name + QStringLiteral("_restart"));
}

void reportGrowth(const char *name, const char *unit)
{
    const QString key = QLatin1String(name);
    const double small = figures.value(key + QStringLiteral("@200"));
    if (small > 0) {
        Bench::report(qPrintable(QStringLiteral("scale_growth_%1").arg(key)),
                      figures.value(key + QStringLiteral("@2000")) / small, unit);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc > 1) {
        Bench::programPath() = QString::fromLocal8Bit(argv[1]);
    }
    for (const int feeds : {200, 1000, 2000}) {
        const Bench::FeedSite site(feeds, itemsPerFeed, extraTextBytes);
        if (!site.isRunning() || !measureCommands(feeds, site)) {
            std::fprintf(stderr, "bench_scale: the commands on %d feeds failed\n", feeds);
            return 1;
        }
        if (feeds == 1000) {
            continue;
        }
        if (!measureStartUp(feeds, site, {}, "tray")
            || !measureStartUp(feeds, site, {QStringLiteral("--headless")}, "headless")) {
            std::fprintf(stderr, "bench_scale: the program on %d feeds built no menu\n", feeds);
            return 1;
        }
        report(feeds, "tray_over_headless_cpu",
               figures.value(QStringLiteral("tray_check_cpu_s@%1").arg(feeds))
                   / figures.value(QStringLiteral("headless_check_cpu_s@%1").arg(feeds)),
               "ratio");
    }
    for (const char *name :
         {"check_first_cpu_s", "check_first_peak_rss_mb", "list_cpu_s", "list_peak_rss_mb", "print_menu_cpu_s",
          "print_menu_peak_rss_mb", "tray_check_cpu_s", "tray_idle_rss_mb", "tray_restart_idle_rss_mb",
          "headless_check_cpu_s", "headless_idle_rss_mb", "headless_restart_idle_rss_mb"}) {
        reportGrowth(name, "x");
    }
    return 0;
}
