#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

#include "model/DownloadQueue.h"
#include "model/FeedDownload.h"
#include "support/HttpTestServer.h"

using Delivery = HttpTestResponse::Delivery;
using Credential = std::optional<QString>;

Q_DECLARE_METATYPE(HttpTestResponse)
Q_DECLARE_METATYPE(Credential)

namespace {

const QByteArray FeedBody =
    QByteArrayLiteral("<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel><title>Brevlin test</title>"
                      "<item><title>One</title><guid>1</guid></item></channel></rss>\n");

// Every signal of one download, in the order they arrived.
class Recorder
{
public:
    explicit Recorder(FeedDownload &download)
    {
        QObject::connect(&download, &FeedDownload::finished, &download,
                         [this](const QByteArray &body) { m_events.append("finished " + body); });
        QObject::connect(&download, &FeedDownload::failed, &download,
                         [this](const QString &message) { m_events.append("failed " + message.toUtf8()); });
        QObject::connect(&download, &FeedDownload::authenticationRefused, &download,
                         [this] { m_events.append("refused"); });
    }

    QList<QByteArray> events() const { return m_events; }
    bool hasEnded() const { return !m_events.isEmpty() && m_events.last() != "refused"; }

private:
    QList<QByteArray> m_events;
};

QByteArray failure(const QString &reason, const QUrl &url)
{
    return "failed Failed " + reason.toUtf8() + ' ' + url.toString().toUtf8();
}

QByteArray basicAuthorization(const QByteArray &user, const QByteArray &password)
{
    return "Basic " + (user + ':' + password).toBase64();
}

} // namespace

class tst_Download : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void feedHost_data();
    void feedHost();
    void outcome_data();
    void outcome();
    void authentication_data();
    void authentication();
    void challengeAfterRedirect_data();
    void challengeAfterRedirect();
    void credentialsStayWithTheirFeed();
    void requestHeaders();
    void timeout_data();
    void timeout();
    void downloadsWaitTheirTurn();
    void fileUrl();
    void fileUrlNotARegularFile_data();
    void fileUrlNotARegularFile();
    void cancelSilencesDownload_data();
    void cancelSilencesDownload();
    void redirect_data();
    void redirect();
};

void tst_Download::feedHost_data()
{
    QTest::addColumn<QUrl>("feedUrl");
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<bool>("expected");

    QTest::newRow("same host, other path")
        << QUrl("http://example.org/feed") << QUrl("http://example.org/other") << true;
    QTest::newRow("host in other case") << QUrl("http://Example.ORG/feed") << QUrl("http://example.org/feed") << true;
    QTest::newRow("explicit default port")
        << QUrl("http://example.org/feed") << QUrl("http://example.org:80/feed") << true;
    QTest::newRow("same host moved to https")
        << QUrl("http://example.org/feed") << QUrl("https://example.org/feed") << true;
    QTest::newRow("other host") << QUrl("http://example.org/feed") << QUrl("http://example.com/feed") << false;
    QTest::newRow("subdomain") << QUrl("http://example.org/feed") << QUrl("http://www.example.org/feed") << false;
    QTest::newRow("other port") << QUrl("http://example.org:8080/feed") << QUrl("http://example.org:8081/feed")
                                << false;
    QTest::newRow("https moved to http") << QUrl("https://example.org/feed") << QUrl("http://example.org/feed")
                                         << false;
    QTest::newRow("to https on another port")
        << QUrl("http://example.org/feed") << QUrl("https://example.org:8443/feed") << false;
}

void tst_Download::feedHost()
{
    QFETCH(QUrl, feedUrl);
    QFETCH(QUrl, url);
    QFETCH(bool, expected);
    QCOMPARE(FeedDownload::isFeedHost(feedUrl, url), expected);
}

void tst_Download::outcome_data()
{
    QTest::addColumn<HttpTestResponse>("response");
    QTest::addColumn<qint64>("maximumBodySize");
    // Empty: the download must finish with FeedBody.
    QTest::addColumn<QString>("failureReason");

    const qint64 noLimit = DownloadLimits().maximumBodySize;
    const HttpTestResponse feed = HttpTestResponse::ok(FeedBody);
    const qint64 belowFeed = FeedBody.size() - 1;
    const QString tooLarge = QStringLiteral("Feed document larger than %1 bytes").arg(belowFeed);
    HttpTestResponse retired = HttpTestResponse::htmlError(410);
    retired.reason = "Feed Retired";
    QTest::newRow("plain feed") << feed << noLimit << QString();
    QTest::newRow("chunked") << feed.withDelivery(Delivery::Chunked) << noLimit << QString();
    QTest::newRow("gzip") << feed.gzipped() << noLimit << QString();
    QTest::newRow("gzip and chunked") << feed.gzipped().withDelivery(Delivery::Chunked) << noLimit << QString();
    QTest::newRow("body exactly at the limit") << feed << qint64(FeedBody.size()) << QString();
    QTest::newRow("404 page") << HttpTestResponse::htmlError(404) << noLimit << QStringLiteral("404 Not Found");
    QTest::newRow("500 page") << HttpTestResponse::htmlError(500) << noLimit
                              << QStringLiteral("500 Internal Server Error");
    QTest::newRow("server's own reason phrase") << retired << noLimit << QStringLiteral("410 Feed Retired");
    QTest::newRow("announced length over the limit") << feed << belowFeed << tooLarge;
    QTest::newRow("chunked body over the limit") << feed.withDelivery(Delivery::Chunked) << belowFeed << tooLarge;
    QTest::newRow("gzip body unpacked over the limit") << feed.gzipped() << belowFeed << tooLarge;
    // Decompression failures used to read "Decompression failed: " with no cause.
    QTest::newRow("gzip bomb") << HttpTestResponse::ok(QByteArray(80 * 1024 * 1024, ' ')).gzipped() << noLimit
                               << QStringLiteral("Feed document larger than 64 MB");
    QTest::newRow("corrupt gzip") << feed.withHeader("Content-Encoding", "gzip") << noLimit
                                  << QStringLiteral("Decompression failed: incorrect header check");
    HttpTestResponse cutShort = feed.gzipped();
    cutShort.body.chop(20);
    QTest::newRow("gzip cut short") << cutShort << noLimit
                                    << QStringLiteral("Decompression failed: the compressed data ends early");
    QTest::newRow("limit in megabytes")
        << HttpTestResponse::ok(QByteArray(3 * 1024 * 1024, 'x')).withDelivery(Delivery::Chunked)
        << qint64(2 * 1024 * 1024) << QStringLiteral("Feed document larger than 2 MB");
    QTest::newRow("connection reset mid-body")
        << feed.withDelivery(Delivery::ResetMidBody) << noLimit << QStringLiteral("Connection closed");
}

void tst_Download::outcome()
{
    QFETCH(HttpTestResponse, response);
    QFETCH(qint64, maximumBodySize);
    QFETCH(QString, failureReason);

    HttpTestServer server;
    server.setResponse("/feed.xml", response);
    FeedDownload download(server.url("/feed.xml"), Credentials());
    DownloadLimits limits;
    limits.maximumBodySize = maximumBodySize;
    download.setLimits(limits);
    Recorder recorder(download);
    download.start();
    QTRY_VERIFY(recorder.hasEnded());

    const QByteArray expected =
        failureReason.isEmpty() ? "finished " + FeedBody : failure(failureReason, server.url("/feed.xml"));
    QCOMPARE(recorder.events(), QList<QByteArray>({expected}));
    QVERIFY(!download.isRunning());
}

void tst_Download::authentication_data()
{
    QTest::addColumn<Credential>("login");
    QTest::addColumn<Credential>("password");
    QTest::addColumn<QList<QByteArray>>("expectedEvents");
    QTest::addColumn<QList<QByteArray>>("authorizationsSent");

    const QList<QByteArray> unauthorized{"refused", "failed Failed 401 Unauthorized %URL%"};
    const QByteArray right = basicAuthorization("reader", "s3cret");

    QTest::newRow("right credentials") << Credential("reader") << Credential("s3cret")
                                       << QList<QByteArray>{"finished " + FeedBody}
                                       << QList<QByteArray>{QByteArray(), right};
    QTest::newRow("wrong password, answered once")
        << Credential("reader") << Credential("wrong") << unauthorized
        << QList<QByteArray>{QByteArray(), basicAuthorization("reader", "wrong")};
    QTest::newRow("login without password")
        << Credential("reader") << Credential() << unauthorized << QList<QByteArray>{QByteArray()};
    QTest::newRow("password without login")
        << Credential() << Credential("s3cret") << unauthorized << QList<QByteArray>{QByteArray()};
    QTest::newRow("no credentials") << Credential() << Credential() << unauthorized << QList<QByteArray>{QByteArray()};
    QTest::newRow("empty password is sent") << Credential("reader") << Credential(QString()) << unauthorized
                                            << QList<QByteArray>{QByteArray(), basicAuthorization("reader", "")};
    // Qt cannot send an empty user name at all.
    QTest::newRow("empty login") << Credential(QString()) << Credential("s3cret") << unauthorized
                                 << QList<QByteArray>{QByteArray()};
}

void tst_Download::authentication()
{
    QFETCH(Credential, login);
    QFETCH(Credential, password);
    QFETCH(QList<QByteArray>, expectedEvents);
    QFETCH(QList<QByteArray>, authorizationsSent);

    HttpTestServer server;
    server.setHandler("/private.xml", HttpTestServer::basicAuth("reader", "s3cret", HttpTestResponse::ok(FeedBody)));
    const QUrl url = server.url("/private.xml");
    FeedDownload download(url, {login, password});
    Recorder recorder(download);
    download.start();
    QTRY_VERIFY(recorder.hasEnded());

    for (QByteArray &event : expectedEvents) {
        event.replace("%URL%", url.toString().toUtf8());
    }
    QCOMPARE(recorder.events(), expectedEvents);
    QList<QByteArray> sent;
    for (const HttpTestRequest &request : server.requests()) {
        sent.append(request.header("Authorization"));
    }
    QCOMPARE(sent, authorizationsSent);
}

void tst_Download::challengeAfterRedirect_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("answered");

    // %1 is the port of the feed's server, %2 that of a second server.
    QTest::newRow("same host, other path") << QStringLiteral("http://127.0.0.1:%1/private.xml") << true;
    QTest::newRow("other host name") << QStringLiteral("http://localhost:%1/private.xml") << false;
    QTest::newRow("other port") << QStringLiteral("http://127.0.0.1:%2/private.xml") << false;
}

void tst_Download::challengeAfterRedirect()
{
    QFETCH(QString, target);
    QFETCH(bool, answered);

    HttpTestServer feedServer;
    HttpTestServer otherServer;
    const QUrl targetUrl(QString(target)
                             .replace(QLatin1String("%1"), QString::number(feedServer.port()))
                             .replace(QLatin1String("%2"), QString::number(otherServer.port())));
    feedServer.setResponse("/feed.xml", HttpTestResponse::redirect(targetUrl.toEncoded(), 301));
    const auto secret = HttpTestServer::basicAuth("reader", "s3cret", HttpTestResponse::ok(FeedBody));
    feedServer.setHandler("/private.xml", secret);
    otherServer.setHandler("/private.xml", secret);

    FeedDownload download(feedServer.url("/feed.xml"), {QStringLiteral("reader"), QStringLiteral("s3cret")});
    Recorder recorder(download);
    download.start();
    QTRY_VERIFY(recorder.hasEnded());

    if (answered) {
        QCOMPARE(recorder.events(), QList<QByteArray>({"finished " + FeedBody}));
        return;
    }
    QCOMPARE(recorder.events(), QList<QByteArray>({"refused", failure(QStringLiteral("401 Unauthorized"), targetUrl)}));
    for (const HttpTestRequest &request : feedServer.requests() + otherServer.requests()) {
        QVERIFY2(!request.hasHeader("Authorization"), request.target.constData());
    }
}

void tst_Download::credentialsStayWithTheirFeed()
{
    HttpTestServer server;
    server.setHandler("/alice.xml", HttpTestServer::basicAuth("alice", "a", HttpTestResponse::ok("alice's")));
    server.setHandler("/bob.xml", HttpTestServer::basicAuth("bob", "b", HttpTestResponse::ok("bob's")));

    // Both at once: Qt shares connections and answered credentials per host within one manager.
    FeedDownload alice(server.url("/alice.xml"), {QStringLiteral("alice"), QStringLiteral("a")});
    FeedDownload bob(server.url("/bob.xml"), {QStringLiteral("bob"), QStringLiteral("b")});
    Recorder aliceRecorder(alice);
    Recorder bobRecorder(bob);
    alice.start();
    bob.start();
    QTRY_VERIFY(aliceRecorder.hasEnded() && bobRecorder.hasEnded());
    QCOMPARE(aliceRecorder.events(), QList<QByteArray>({"finished alice's"}));
    QCOMPARE(bobRecorder.events(), QList<QByteArray>({"finished bob's"}));

    // Afterwards, a feed on the same host with no or other credentials gets nobody else's.
    server.clearRequests();
    FeedDownload anonymous(server.url("/bob.xml"), Credentials());
    FeedDownload mallory(server.url("/alice.xml"), {QStringLiteral("mallory"), QStringLiteral("m")});
    Recorder anonymousRecorder(anonymous);
    Recorder malloryRecorder(mallory);
    anonymous.start();
    mallory.start();
    QTRY_VERIFY(anonymousRecorder.hasEnded() && malloryRecorder.hasEnded());
    QCOMPARE(anonymousRecorder.events().first(), QByteArray("refused"));
    QCOMPARE(malloryRecorder.events().first(), QByteArray("refused"));

    const QList<QByteArray> allowed{QByteArray(), basicAuthorization("mallory", "m")};
    for (const HttpTestRequest &request : server.requests()) {
        QVERIFY2(allowed.contains(request.header("Authorization")), request.header("Authorization").constData());
    }
    QCOMPARE(server.requests("/bob.xml").size(), 1);
}

void tst_Download::requestHeaders()
{
    HttpTestServer server;
    server.setResponse("/feed.xml", HttpTestResponse::ok(FeedBody));
    FeedDownload download(server.url("/feed.xml"), Credentials());
    Recorder recorder(download);
    download.start();
    QTRY_VERIFY(recorder.hasEnded());
    QCOMPARE(server.requests().size(), 1);
    const HttpTestRequest request = server.requests().first();
    QCOMPARE(request.header("User-Agent"), QByteArray("RSS Brevlin/" BREVLIN_VERSION));
    // Caches between us and the server must not answer either.
    QCOMPARE(request.header("Cache-Control"), QByteArray("no-cache"));
    QVERIFY2(request.header("Accept-Encoding").contains("gzip"), request.header("Accept-Encoding").constData());
}

void tst_Download::timeout_data()
{
    QTest::addColumn<HttpTestResponse>("response");

    const HttpTestResponse feed = HttpTestResponse::ok(FeedBody);
    QTest::newRow("server never answers") << feed.withDelivery(Delivery::NeverAnswer);
    // Never silent for as long as the transfer timeout, so only the total time can end it.
    QTest::newRow("server sends a byte now and then") << feed.withDelivery(Delivery::Trickle);
}

void tst_Download::timeout()
{
    QFETCH(HttpTestResponse, response);

    HttpTestServer server;
    server.setResponse("/slow.xml", response);
    FeedDownload download(server.url("/slow.xml"), Credentials());
    download.setLimits(
        {DownloadLimits().maximumBodySize, std::chrono::milliseconds(400), std::chrono::milliseconds(1500)});
    Recorder recorder(download);
    QElapsedTimer clock;
    clock.start();
    download.start();
    QTRY_VERIFY_WITH_TIMEOUT(recorder.hasEnded(), 10000);
    QVERIFY2(clock.elapsed() < 5000, QByteArray::number(clock.elapsed()).constData());
    QCOMPARE(recorder.events(),
             QList<QByteArray>({failure(QStringLiteral("Request timed out"), server.url("/slow.xml"))}));
}

// The process sends a few requests at a time; one waiting for its turn is sent as soon as a
// slot is free.
void tst_Download::downloadsWaitTheirTurn()
{
    // Two servers, so that Qt's own limit of six connections per host is not what is seen.
    HttpTestServer first;
    HttpTestServer second;
    std::vector<std::unique_ptr<FeedDownload>> stalled;
    for (int index = 0; index < DownloadQueue::Slots; ++index) {
        HttpTestServer &server = index % 2 == 0 ? first : second;
        server.setResponse("/slow.xml", HttpTestResponse::ok(FeedBody).withDelivery(Delivery::NeverAnswer));
        stalled.push_back(std::make_unique<FeedDownload>(server.url("/slow.xml"), Credentials()));
        stalled.back()->start();
    }
    first.setResponse("/feed.xml", HttpTestResponse::ok(FeedBody));
    FeedDownload waiting(first.url("/feed.xml"), Credentials());
    Recorder recorder(waiting);
    waiting.start();
    QVERIFY(waiting.isRunning());
    QTRY_COMPARE(first.requests("/slow.xml").size() + second.requests("/slow.xml").size(), DownloadQueue::Slots);
    QTest::qWait(300);
    QCOMPARE(first.requests("/feed.xml").size(), 0);
    stalled.front()->cancel();
    QTRY_VERIFY_WITH_TIMEOUT(recorder.hasEnded(), 10000);
    QCOMPARE(recorder.events(), QList<QByteArray>({"finished " + FeedBody}));
}

void tst_Download::fileUrl()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("local feed.xml")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(FeedBody);
    file.close();

    FeedDownload present(QUrl::fromLocalFile(file.fileName()), Credentials());
    const QUrl missingUrl = QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.xml")));
    FeedDownload missing(missingUrl, Credentials());
    Recorder presentRecorder(present);
    Recorder missingRecorder(missing);
    present.start();
    missing.start();
    QTRY_VERIFY(presentRecorder.hasEnded() && missingRecorder.hasEnded());
    QCOMPARE(presentRecorder.events(), QList<QByteArray>({"finished " + FeedBody}));
    QCOMPARE(
        missingRecorder.events(),
        QList<QByteArray>({failure(
            QStringLiteral("Error opening %1: No such file or directory").arg(missingUrl.toLocalFile()), missingUrl)}));
}

void tst_Download::fileUrlNotARegularFile_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("FIFO without a writer") << QStringLiteral("fifo");
    QTest::newRow("folder") << QStringLiteral("folder");
    QTest::newRow("device") << QStringLiteral("device");
}

// Reading a FIFO used to block the whole program in open() until a writer came.
void tst_Download::fileUrlNotARegularFile()
{
    QFETCH(QString, kind);

    QTemporaryDir dir;
    QString path = dir.filePath(kind);
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(kind));
    } else {
        path = QStringLiteral("/dev/zero");
    }
    const QUrl url = QUrl::fromLocalFile(path);
    FeedDownload download(url, Credentials());
    Recorder recorder(download);
    download.start();
    QVERIFY(download.isRunning());
    QTRY_VERIFY(recorder.hasEnded());
    QCOMPARE(recorder.events(), QList<QByteArray>({failure(QStringLiteral("Not a regular file: %1").arg(path), url)}));
    QVERIFY(!download.isRunning());
}

void tst_Download::cancelSilencesDownload_data()
{
    QTest::addColumn<bool>("waitForServer");
    QTest::addColumn<bool>("withCredentials");
    QTest::addColumn<bool>("destroy");

    QTest::newRow("cancelled before the server sees the request") << false << false << false;
    QTest::newRow("cancelled while the server holds the answer") << true << false << false;
    QTest::newRow("cancelled with credentials") << true << true << false;
    QTest::newRow("destroyed while running") << true << true << true;
}

void tst_Download::cancelSilencesDownload()
{
    QFETCH(bool, waitForServer);
    QFETCH(bool, withCredentials);
    QFETCH(bool, destroy);

    HttpTestServer server;
    const HttpTestResponse feed = HttpTestResponse::ok(FeedBody);
    server.setResponse("/slow.xml", waitForServer ? feed.withDelivery(Delivery::NeverAnswer) : feed);
    server.setResponse("/feed.xml", feed);
    auto slow = std::make_unique<FeedDownload>(
        server.url("/slow.xml"),
        withCredentials ? Credentials{QStringLiteral("reader"), QStringLiteral("s3cret")} : Credentials());
    Recorder slowRecorder(*slow);
    QSignalSpy received(&server, &HttpTestServer::requestReceived);
    slow->start();
    if (waitForServer) {
        QVERIFY(received.wait());
    }
    if (destroy) {
        slow.reset();
    } else {
        slow->cancel();
        QVERIFY(!slow->isRunning());
    }

    // A late signal of the cancelled download would arrive before a download started after it ends.
    FeedDownload later(server.url("/feed.xml"), Credentials());
    Recorder laterRecorder(later);
    later.start();
    QTRY_VERIFY(laterRecorder.hasEnded());
    QCOMPARE(laterRecorder.events(), QList<QByteArray>({"finished " + FeedBody}));
    QCOMPARE(slowRecorder.events(), QList<QByteArray>());
}

void tst_Download::redirect_data()
{
    QTest::addColumn<QByteArray>("finalPath");
    QTest::addColumn<QByteArray>("expectedEvent");

    QTest::newRow("to another path") << QByteArray("/moved.xml") << "finished " + FeedBody;
    QTest::newRow("twice") << QByteArray("/moved-again.xml") << "finished " + FeedBody;
    QTest::newRow("to a missing page, named in the message")
        << QByteArray("/missing.xml") << QByteArray("failed Failed 404 Not Found %URL%");
}

void tst_Download::redirect()
{
    QFETCH(QByteArray, finalPath);
    QFETCH(QByteArray, expectedEvent);

    HttpTestServer server;
    server.setResponse("/feed.xml",
                       HttpTestResponse::redirect(finalPath == "/moved-again.xml" ? "/hop.xml" : finalPath, 301));
    server.setResponse("/hop.xml", HttpTestResponse::redirect(finalPath, 307));
    server.setResponse("/moved.xml", HttpTestResponse::ok(FeedBody));
    server.setResponse("/moved-again.xml", HttpTestResponse::ok(FeedBody));
    FeedDownload download(server.url("/feed.xml"), Credentials());
    Recorder recorder(download);
    download.start();
    QTRY_VERIFY(recorder.hasEnded());
    // Redirect pages carry HTML bodies of their own; only the last response's body may count.
    QCOMPARE(recorder.events(), QList<QByteArray>({expectedEvent.replace("%URL%", server.url(finalPath).toEncoded())}));
}

QTEST_GUILESS_MAIN(tst_Download)
#include "tst_download.moc"
