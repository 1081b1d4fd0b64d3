// The page cache end to end: `rss-brevlin --headless` with a local feed of ten entries whose
// pages (each with a style sheet and an image) come from a server on 127.0.0.1 in this process.
// Memory is the program's together with the browser engine's processes it starts.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTimer>

#include <unistd.h>

#include "BenchSupport.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr int pageCount = 10;

QByteArray feedDocument(const HttpTestServer &server)
{
    QByteArray items;
    for (int i = 0; i < pageCount; ++i) {
        const QByteArray n = QByteArray::number(i);
        items += "<item><title>Page " + n + "</title><guid>page-" + n
            + "</guid><pubDate>Mon, 01 Jun 2026 10:" + QByteArray::number(10 + i) + ":00 GMT</pubDate><link>"
            + server.url(QStringLiteral("/page-%1").arg(i)).toEncoded() + "</link></item>";
    }
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Local</title>" + items + "</channel></rss>";
}

QByteArray pageDocument(int i)
{
    QByteArray text;
    for (int paragraph = 0; paragraph < 20; ++paragraph) {
        text += "<p>Paragraph " + QByteArray::number(paragraph) + " of page " + QByteArray::number(i)
            + ": some words to lay out, as an article has them.</p>";
    }
    return "<html><head><title>Page</title><link rel=\"stylesheet\" href=\"/style.css\"></head><body>" + text
        + "<img src=\"/image.png\"></body></html>";
}

// The resident memory of pid and all its descendants, from /proc.
double treeResidentMegabytes(qint64 pid)
{
    QHash<qint64, QList<qint64>> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 id = entry.toLongLong(&isPid);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!isPid || !stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // The command name may hold spaces; the fields after its closing parenthesis do not.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1) {
            children[fields.at(1).toLongLong()].append(id);
        }
    }
    double megabytes = 0;
    QList<qint64> pending{pid};
    while (!pending.isEmpty()) {
        const qint64 id = pending.takeLast();
        pending.append(children.value(id));
        QFile status(QStringLiteral("/proc/%1/status").arg(id));
        if (!status.open(QIODevice::ReadOnly)) {
            continue;
        }
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:")) {
                megabytes += line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
            }
        }
    }
    return megabytes;
}

QProcessEnvironment childEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Chromium refuses to start as root with its sandbox (CI machines); users never run as root.
    if (geteuid() == 0) {
        environment.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        environment.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                           QStringLiteral("--disable-gpu --no-sandbox --disable-background-networking "
                                          "--disable-component-update"));
    }
    return environment;
}

void runCommand(const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    process.start(QStringLiteral(BREVLIN_BINARY), arguments);
    while (process.state() != QProcess::NotRunning) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
}

struct Run
{
    double seconds = 0;
    double peakMegabytes = 0;
    bool complete = false;
};

// Runs the headless program until done() holds (or two minutes passed), sampling its memory.
Run runHeadless(const std::function<bool(const QByteArray &standardError)> &done)
{
    QProcess program;
    program.setProcessEnvironment(childEnvironment());
    QByteArray standardError;
    QObject::connect(&program, &QProcess::readyReadStandardError,
                     [&] { standardError += program.readAllStandardError(); });
    Run run;
    QElapsedTimer clock;
    clock.start();
    program.start(QStringLiteral(BREVLIN_BINARY), {QStringLiteral("--headless")});
    program.waitForStarted();
    while (clock.elapsed() < 120000 && program.state() == QProcess::Running) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        run.peakMegabytes = std::max(run.peakMegabytes, treeResidentMegabytes(program.processId()));
        if (done(standardError)) {
            run.complete = true;
            break;
        }
    }
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    program.terminate();
    program.waitForFinished(20000);
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    HttpTestServer server;
    server.setResponse("/feed.xml", HttpTestResponse::ok(feedDocument(server)));
    server.setResponse("/style.css", HttpTestResponse::ok("p { font-family: serif; margin: 1em }", "text/css"));
    server.setResponse("/image.png", HttpTestResponse::ok(QByteArray(4096, 'x'), "image/png"));
    for (int i = 0; i < pageCount; ++i) {
        server.setResponse(QByteArray("/page-") + QByteArray::number(i),
                           HttpTestResponse::ok(pageDocument(i), "text/html"));
    }

    for (const bool cacheOn : {true, false}) {
        TestSupport::TemporaryHome home;
        runCommand(
            {QStringLiteral("--add"), server.url(QStringLiteral("/feed.xml")).toString(), QStringLiteral("--recent")});
        runCommand({QStringLiteral("--set"), QStringLiteral("Enable Target Page Cache"),
                    cacheOn ? QStringLiteral("true") : QStringLiteral("false")});
        const QDir caches(home.cacheHome() + QStringLiteral("/Rss_Brevlin"));
        if (cacheOn) {
            const Run run = runHeadless([&](const QByteArray &) {
                return caches.entryList({QStringLiteral("*.mhtml")}, QDir::Files).size() == pageCount;
            });
            if (!run.complete) {
                std::fprintf(stderr, "the pages were not all archived\n");
                return 1;
            }
            Bench::report("pagecache_10_pages_s", run.seconds, "s");
            Bench::report("pagecache_peak_rss_mb", run.peakMegabytes, "MB");
        } else {
            // The program settles once its first check is over; memory is watched a second longer.
            QElapsedTimer settled;
            const Run run = runHeadless([&](const QByteArray &standardError) {
                if (!settled.isValid() && standardError.contains("checked 1 feeds")) {
                    settled.start();
                }
                return settled.isValid() && settled.elapsed() > 1000;
            });
            Bench::report("pagecache_off_rss_mb", run.peakMegabytes, "MB");
        }
    }
    return 0;
}
