// The status menu with 200 feeds of 100 entries each, top entries and sub-links on: what one
// rebuild costs, what the rebuilds of one check of every feed cost, and what the tray program
// costs to start and to keep running. Documents come from a local HTTP server in a child process.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTextStream>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "BenchSupport.h"
#include "app/Rss_Brevlin_AppDelegate.h"
#include "controller/RSSBrevlinController.h"
#include "controller/widgets/TrayStatusItem.h"
#include "model/MenuItem.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "store/ObjectContext.h"
#include "tests/fakes/FakeAlerts.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/StoreFixture.h"

namespace {

constexpr int feedCount = 200;
constexpr int entriesPerFeed = 100;
constexpr int idleSeconds = 30;

// Every third entry names addresses in its text, which become its sub-links.
QByteArray feedDocument(int feed)
{
    QString xml;
    QTextStream out(&xml);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\">\n<channel>\n"
        << "<title>Menu feed " << feed << "</title>\n<link>https://example.org/" << feed << "/</link>\n";
    const QDateTime newest(QDate(2024, 3, 1), QTime(12, 0), QTimeZone::utc());
    for (int entry = 0; entry < entriesPerFeed; ++entry) {
        out << "<item>\n<title>Entry " << entry << " of feed " << feed << ": a release with notes</title>\n"
            << "<link>https://example.org/" << feed << "/entries/" << entry << "</link>\n"
            << "<guid isPermaLink=\"false\">menu:" << feed << '/' << entry << "</guid>\n"
            << "<pubDate>" << newest.addSecs(-3600 * entry - 60 * feed).toString(Qt::RFC2822Date)
            << "</pubDate>\n<description>Changes in this release";
        if (entry % 3 == 0) {
            out << ": see http://example.org/" << feed << '/' << entry << "/notes and http://example.org/" << feed
                << '/' << entry << "/download";
        }
        out << ".</description>\n</item>\n";
    }
    out << "</channel>\n</rss>\n";
    out.flush();
    return xml.toUtf8();
}

// The child: serves every document and prints its port, then runs until it is ended.
int serve()
{
    HttpTestServer server;
    for (int feed = 0; feed < feedCount; ++feed) {
        server.setResponse(QStringLiteral("/feed-%1.xml").arg(feed).toUtf8(), HttpTestResponse::ok(feedDocument(feed)));
    }
    std::printf("%u\n", unsigned(server.port()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Hands each menu to the tray view and counts the rebuilds and what the view spent on them.
class CountingStatusItem : public StatusItem
{
public:
    explicit CountingStatusItem(TrayStatusItem *view)
        : m_view(view)
    {
    }
    void setMenu(std::shared_ptr<Menu> menu) override
    {
        const double before = threadCpuSeconds();
        m_view->setMenu(std::move(menu));
        viewSeconds += threadCpuSeconds() - before;
        ++rebuilds;
    }
    bool isMenuOpen() const override { return m_view->isMenuOpen(); }

    int rebuilds = 0;
    double viewSeconds = 0;

private:
    TrayStatusItem *m_view;
};

// Lets every started download end and every deferred parse and merged rebuild run.
void settle(const QList<RSSFeed *> &feeds)
{
    const auto running = [&feeds] {
        return std::any_of(feeds.cbegin(), feeds.cend(), [](const RSSFeed *feed) { return feed->isDownloading(); });
    };
    while (running()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

// Milliseconds per call of work, over enough calls to rise above the clock's grain.
template<typename Work> double millisecondsPerCall(Work work)
{
    constexpr int calls = 20;
    const double before = threadCpuSeconds();
    for (int i = 0; i < calls; ++i) {
        work();
    }
    return (threadCpuSeconds() - before) * 1000.0 / calls;
}

struct ProcessFigures
{
    double clockTicks = 0;
    double residentMegabytes = 0;
};

ProcessFigures processFigures(qint64 pid)
{
    ProcessFigures figures;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        // utime and stime are the 14th and 15th fields; the name before them may hold spaces.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        figures.clockTicks = fields.value(11).toDouble() + fields.value(12).toDouble();
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:")) {
                figures.residentMegabytes = line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
            }
        }
    }
    return figures;
}

// Starts the tray program on the store just filled, as a user would, and follows it from the
// outside: the moment its first menu is built (its menu log line), its memory once the
// start-up check is over, and what it spends while nothing is due.
void measureProgram()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("brevlin.controller.debug=true"));
    for (const char *name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) {
        environment.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
    }
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    program.start(TestSupport::binaryPath(), {});
    if (!program.waitForStarted()) {
        qFatal("the program did not start: %s", qPrintable(program.errorString()));
    }
    QByteArray log;
    while (!log.contains("menu built")) {
        if (!program.waitForReadyRead(30000)) {
            qFatal("the program built no menu: %s", log.constData());
        }
        log += program.readAll();
    }
    Bench::report("startup_ms", double(clock.nsecsElapsed()) / 1e6, "ms");
    // Memory with the store loaded, before the start-up check has parsed anything.
    Bench::report("startup_menu_rss_mb", processFigures(program.processId()).residentMegabytes, "MB");

    // The start-up check of every feed ends when the program stops spending CPU.
    const double tick = double(sysconf(_SC_CLK_TCK));
    double last = -1;
    int quietPolls = 0;
    for (int poll = 0; poll < 600 && quietPolls < 10; ++poll) {
        program.waitForFinished(100);
        program.readAll();
        const double now = processFigures(program.processId()).clockTicks;
        quietPolls = now == last ? quietPolls + 1 : 0;
        last = now;
    }
    const ProcessFigures started = processFigures(program.processId());
    Bench::report("startup_rss_mb", started.residentMegabytes, "MB");
    program.waitForFinished(idleSeconds * 1000);
    const ProcessFigures idle = processFigures(program.processId());
    Bench::report("idle_cpu_s", (idle.clockTicks - started.clockTicks) / tick, "s");

    program.terminate();
    if (!program.waitForFinished(10000)) {
        program.kill();
        program.waitForFinished();
    }
}

// One rebuild of the menu of a large store: feeds x entries filled in directly, without a
// check, since only the rebuild is measured.
void measureLargeRebuild(int feeds)
{
    TestSupport::PreferencesHome home;
    ObjectContext context;
    QDir().mkpath(home.dataHome());
    if (!context.open(home.dataHome() + QStringLiteral("/large.sql"), TestSupport::dataModel())) {
        qFatal("%s", qPrintable(context.errorString()));
    }
    const QDateTime newest(QDate(2024, 3, 1), QTime(12, 0), QTimeZone::utc());
    for (int i = 0; i < feeds; ++i) {
        RSSFeed *feed = RSSFeed::insert(&context);
        feed->setName(QStringLiteral("Menu feed %1").arg(i, 4, 10, QLatin1Char('0')));
        feed->setShowInRecentList(true);
        for (int entry = 0; entry < entriesPerFeed; ++entry) {
            RSSItem *item = RSSItem::insert(&context);
            item->setTitle(QStringLiteral("Entry %1 of feed %2: a release with notes").arg(entry).arg(i));
            item->setUrl(QStringLiteral("https://example.org/%1/entries/%2").arg(i).arg(entry));
            item->setDate(newest.addSecs(-3600LL * entry - 60LL * i));
            if (entry % 3 == 0) {
                item->createSubLinksFromString(QStringLiteral("see http://example.org/%1/%2/notes").arg(i).arg(entry));
            }
            feed->addFeedEntry(item);
        }
    }
    RSSBrevlinController controller(&context, nullptr);
    TrayStatusItem view;
    controller.setStatusItem(&view);
    const QByteArray name = "menu_rebuild_" + QByteArray::number(feeds) + "_feeds";
    Bench::report((name + "_core_ms").constData(), millisecondsPerCall([&controller] { controller.feedsMenu(); }),
                  "ms");
    Bench::report((name + "_ms").constData(), millisecondsPerCall([&controller] { controller.updateMenus(); }), "ms");
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--serve") == 0) {
        QCoreApplication app(argc, argv);
        return serve();
    }
    QApplication app(argc, argv);

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve")});
    if (!server.waitForReadyRead(120000)) {
        qFatal("the benchmark server did not start");
    }
    const quint16 port = server.readLine().trimmed().toUShort();

    TestSupport::PreferencesHome home;
    FakeAlerts alerts;
    const QString storeFile = Rss_Brevlin_AppDelegate(&alerts).storeFilePath();
    QDir().mkpath(QFileInfo(storeFile).path());
    {
        ObjectContext context;
        if (!context.open(storeFile, TestSupport::dataModel())) {
            qFatal("%s", qPrintable(context.errorString()));
        }
        QList<RSSFeed *> feeds;
        for (int i = 0; i < feedCount; ++i) {
            RSSFeed *feed = RSSFeed::insert(&context);
            feed->setName(QStringLiteral("Menu feed %1").arg(i, 3, 10, QLatin1Char('0')));
            feed->setShowInRecentList(true);
            // Setting the address starts a check; the measured one starts with the controller.
            feed->setUrl(QStringLiteral("http://127.0.0.1:%1/feed-%2.xml").arg(port).arg(i));
            feed->cancelDownload();
            feeds.append(feed);
        }

        TrayStatusItem view;
        CountingStatusItem statusItem(&view);
        RSSBrevlinController controller(&context, &alerts);
        controller.setStatusItem(&statusItem);
        // Start-up builds the first menu and checks every feed; each parsed document asks for a
        // rebuild. The merged rebuilds of the check cost at most what a rebuild of the final,
        // fullest store costs, each.
        const double cpuBefore = Bench::cpuSeconds();
        controller.awakeFromNib();
        settle(feeds);
        const double checkCpu = Bench::cpuSeconds() - cpuBefore;
        for (const RSSFeed *feed : std::as_const(feeds)) {
            if (feed->feedEntries().size() != entriesPerFeed) {
                qFatal("%s has %lld entries", qPrintable(*feed->url()),
                       static_cast<long long>(feed->feedEntries().size()));
            }
        }

        const double coreMs = millisecondsPerCall([&controller] { controller.feedsMenu(); });
        std::shared_ptr<Menu> menu = controller.feedsMenu();
        const double viewMs = millisecondsPerCall([&view, &menu] {
            view.setMenu(nullptr);
            view.setMenu(menu);
        });
        const double rebuildMs = millisecondsPerCall([&controller] { controller.updateMenus(); });
        Bench::report("menu_rebuild_core_ms", coreMs, "ms");
        Bench::report("menu_rebuild_view_ms", viewMs, "ms");
        Bench::report("menu_rebuild_ms", rebuildMs, "ms");
        Bench::report("check_menu_rebuilds", statusItem.rebuilds, "rebuilds");
        Bench::report("check_cpu_s", checkCpu, "s");
        Bench::report("check_menu_cpu_s", statusItem.rebuilds * coreMs / 1000.0 + statusItem.viewSeconds, "s");
        context.save();
    }

    measureProgram();
    measureLargeRebuild(2000);

    server.kill();
    server.waitForFinished();
    return 0;
}
