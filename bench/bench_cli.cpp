// Checking through the command line: 200 feeds of 50 items served by a web server in
// another process on 127.0.0.1, checked by `rss-brevlin --check-once` twice (the first
// check stores everything, the second finds nothing new). Times and memory are the child's.

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#include "BenchProcesses.h"
#include "BenchSite.h"
#include "BenchSupport.h"

namespace {

constexpr int feedCount = 200;
constexpr int itemsPerFeed = 50;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const Bench::FeedSite site(feedCount, itemsPerFeed, 0);
    if (!site.isRunning()) {
        std::fprintf(stderr, "bench_cli: the web server did not start\n");
        return 1;
    }
    const TestSupport::TemporaryHome home;
    const QString output = home.path() + QStringLiteral("/output.txt");
    using Bench::runProgram;
    const Bench::ChildRun import = runProgram({QStringLiteral("--import-opml"), site.opmlPath()}, output);
    const Bench::ChildRun first = runProgram({QStringLiteral("--check-once")}, output);
    const int firstStored = Bench::storedEntries(output);
    const Bench::ChildRun second = runProgram({QStringLiteral("--check-once")}, output);
    const int secondStored = Bench::storedEntries(output);

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
