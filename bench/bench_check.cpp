// One check of 200 feeds of 50 entries each, all started at once, as the timer starts them: the
// first check stores every entry, the second finds the same documents with nothing new, and the
// third finds them unchanged once the server answers the feeds' validators with 304. The
// documents come from a local HTTP server in a child process, so that serving them costs this
// process neither time nor memory.

#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QTextStream>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>

#include "BenchSupport.h"
#include "model/NetworkAccess.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "store/ObjectContext.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/StoreFixture.h"

namespace {

constexpr int feedCount = 200;
constexpr int itemsPerFeed = 50;

const QStringList words =
    QStringLiteral("the of release update server network kernel driver security patch version user interface "
                   "performance memory window desktop project community feature bug report build package library "
                   "support improve change new fixed added removed documentation translation developer stable")
        .split(QLatin1Char(' '));

QString sentence(QRandomGenerator &random, int wordCount)
{
    QStringList picked;
    for (int i = 0; i < wordCount; ++i) {
        picked.append(words.at(random.bounded(qsizetype(words.size()))));
    }
    picked.first()[0] = picked.first().at(0).toUpper();
    return picked.join(QLatin1Char(' ')) + QLatin1Char('.');
}

// A description of 1 to 3 KB of escaped HTML: paragraphs, a link, emphasis and entities.
QString description(QRandomGenerator &random, int feed, int item)
{
    const int target = 1024 + random.bounded(2048);
    QString html;
    while (html.size() < target) {
        html += QStringLiteral("<p>") + sentence(random, 8 + random.bounded(10))
            + QStringLiteral(" See <a href=\"https://example.org/%1/%2\">the notes</a> &amp; <em>%3</em>.</p>\n")
                  .arg(feed)
                  .arg(item)
                  .arg(sentence(random, 3));
    }
    return html.toHtmlEscaped();
}

QByteArray feedDocument(int feed)
{
    QRandomGenerator random{quint32(feed)};
    QString xml;
    QTextStream out(&xml);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\">\n<channel>\n"
        << "<title>Benchmark feed " << feed << "</title>\n<link>https://example.org/" << feed << "/</link>\n"
        << "<description>Feed " << feed << " of the check benchmark</description>\n";
    const QDateTime newest(QDate(2024, 3, 1), QTime(12, 0), QTimeZone::utc());
    for (int item = 0; item < itemsPerFeed; ++item) {
        const QDateTime date = newest.addSecs(-3600 * item - 60 * feed);
        out << "<item>\n<title>" << sentence(random, 6 + random.bounded(6)) << "</title>\n"
            << "<link>https://example.org/" << feed << "/entries/" << item << "</link>\n"
            << "<guid isPermaLink=\"false\">tag:example.org,2024:" << feed << '/' << item << "</guid>\n"
            << "<pubDate>" << date.toString(Qt::RFC2822Date) << "</pubDate>\n"
            << "<author>editor" << feed << "@example.org (Editor)</author>\n"
            << "<description>" << description(random, feed, item) << "</description>\n</item>\n";
    }
    out << "</channel>\n</rss>\n";
    out.flush();
    return xml.toUtf8();
}

// The child: serves every document and prints its port, then runs until it is ended. Every
// document carries an ETag from the start, but 304 answers only begin after a request for
// /honour-validators, so that the second check still measures whole documents.
int serve()
{
    HttpTestServer server;
    qint64 bytes = 0;
    bool honourValidators = false;
    server.setHandler("/honour-validators", [&honourValidators](const HttpTestRequest &) {
        honourValidators = true;
        return HttpTestResponse::ok("yes", "text/plain");
    });
    HttpTestResponse unchanged;
    unchanged.status = 304;
    for (int feed = 0; feed < feedCount; ++feed) {
        const QByteArray document = feedDocument(feed);
        const QByteArray etag = "\"feed-" + QByteArray::number(feed) + "\"";
        const HttpTestResponse full = HttpTestResponse::ok(document).withHeader("ETag", etag);
        bytes += document.size();
        server.setHandler(QStringLiteral("/feed-%1.xml").arg(feed).toUtf8(),
                          [&honourValidators, full, unchanged, etag](const HttpTestRequest &request) {
                              return honourValidators && request.header("If-None-Match") == etag ? unchanged : full;
                          });
    }
    std::printf("%u %lld\n", unsigned(server.port()), static_cast<long long>(bytes));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

struct CheckFigures
{
    double wallSeconds = 0;
    double cpuSeconds = 0;
};

// Starts a check of every feed and returns once every download has ended and every deferred
// parse has run.
CheckFigures checkAll(const QList<RSSFeed *> &feeds)
{
    const double cpuBefore = Bench::cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    for (RSSFeed *feed : feeds) {
        feed->checkFeed();
    }
    auto running = [&feeds] {
        return std::any_of(feeds.cbegin(), feeds.cend(), [](const RSSFeed *feed) { return feed->isDownloading(); });
    };
    while (running()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    for (RSSFeed *feed : feeds) {
        QCoreApplication::sendPostedEvents(feed, QEvent::MetaCall);
    }
    return {double(timer.nsecsElapsed()) / 1e9, Bench::cpuSeconds() - cpuBefore};
}

void verify(const QList<RSSFeed *> &feeds, const char *when)
{
    for (const RSSFeed *feed : feeds) {
        if (feed->errorMessage() != QString() || feed->feedEntries().size() != itemsPerFeed) {
            qFatal("%s check: %s has %lld entries, message \"%s\"", when, qPrintable(*feed->url()),
                   static_cast<long long>(feed->feedEntries().size()),
                   qPrintable(feed->errorMessage().value_or(QStringLiteral("(none)"))));
        }
    }
}

// What the stored entries' plain text alone occupies in memory (UTF-16).
double entryTextMegabytes(const QList<RSSFeed *> &feeds)
{
    qint64 characters = 0;
    for (const RSSFeed *feed : feeds) {
        for (const RSSItem *entry : feed->feedEntries()) {
            characters += entry->text().value_or(QString()).size();
        }
    }
    return double(characters) * 2 / (1024 * 1024);
}

void askServerToHonourValidators(quint16 port)
{
    QNetworkReply *reply = NetworkAccess::manager()->get(
        NetworkAccess::request(QUrl(QStringLiteral("http://127.0.0.1:%1/honour-validators").arg(port))));
    while (!reply->isFinished()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (reply->readAll() != "yes") {
        qFatal("the benchmark server did not switch to validators: %s", qPrintable(reply->errorString()));
    }
    reply->deleteLater();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--serve") == 0) {
        return serve();
    }

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve")});
    if (!server.waitForReadyRead(120000)) {
        qFatal("the benchmark server did not start");
    }
    const QList<QByteArray> announced = server.readLine().trimmed().split(' ');
    const quint16 port = announced.value(0).toUShort();
    const double servedMegabytes = announced.value(1).toDouble() / (1024 * 1024);

    TestSupport::PreferencesHome home;
    QDir().mkpath(home.dataHome());
    ObjectContext context;
    if (!context.open(home.dataHome() + QStringLiteral("/bench.sql"), TestSupport::dataModel())) {
        qFatal("%s", qPrintable(context.errorString()));
    }
    QList<RSSFeed *> feeds;
    for (int i = 0; i < feedCount; ++i) {
        RSSFeed *feed = RSSFeed::insert(&context);
        feed->setName(QStringLiteral("Benchmark feed %1").arg(i));
        // Setting the address starts a check; the measured ones start below, all together.
        feed->setUrl(QStringLiteral("http://127.0.0.1:%1/feed-%2.xml").arg(port).arg(i));
        feed->cancelDownload();
        feeds.append(feed);
    }

    const double before = Bench::residentMegabytes();
    const CheckFigures first = checkAll(feeds);
    verify(feeds, "first");
    const double firstPeak = Bench::peakResidentMegabytes();
    const CheckFigures second = checkAll(feeds);
    verify(feeds, "second");
    askServerToHonourValidators(port);
    const CheckFigures unchanged = checkAll(feeds);
    verify(feeds, "unchanged");

    Bench::report("check_feeds", feedCount, "feeds");
    Bench::report("check_served_mb", servedMegabytes, "MB");
    Bench::report("check_first_wall_s", first.wallSeconds, "s");
    Bench::report("check_first_cpu_s", first.cpuSeconds, "s");
    Bench::report("check_second_wall_s", second.wallSeconds, "s");
    Bench::report("check_second_cpu_s", second.cpuSeconds, "s");
    Bench::report("check_unchanged_wall_s", unchanged.wallSeconds, "s");
    Bench::report("check_unchanged_cpu_s", unchanged.cpuSeconds, "s");
    Bench::report("check_rss_before_mb", before, "MB");
    Bench::report("check_entry_text_mb", entryTextMegabytes(feeds), "MB");
    Bench::report("check_first_peak_rss_mb", firstPeak, "MB");
    Bench::report("check_peak_rss_mb", Bench::peakResidentMegabytes(), "MB");

    server.kill();
    server.waitForFinished();
    return 0;
}
