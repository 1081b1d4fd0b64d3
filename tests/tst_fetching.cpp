#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <memory>

#include "model/DownloadLimits.h"
#include "model/DownloadQueue.h"
#include "model/FeedDownload.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "store/DistantPast.h"
#include "store/ObjectContext.h"
#include "tests/support/FeedCheckWait.h"
#include "tests/support/FeedEventLog.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/StoreFixture.h"

using namespace TestSupport;
using Delivery = HttpTestResponse::Delivery;
using Text = std::optional<QString>;

Q_DECLARE_METATYPE(HttpTestResponse)
Q_DECLARE_METATYPE(Text)

namespace {

const QStringList twoEntries{QStringLiteral("First entry"), QStringLiteral("Second entry")};
const QString none = QStringLiteral("(none)");

// Every value the feed's error message took, in order; an absent one reads "(none)".
class MessageLog
{
public:
    MessageLog(ObjectContext *context, const RSSFeed *feed)
    {
        QObject::connect(context, &ObjectContext::recordChanged, context,
                         [this, feed](Record *record, const QString &key) {
                             if (record == feed && key == QLatin1String("errorMessage")) {
                                 messages.append(feed->errorMessage().value_or(none));
                             }
                         });
    }
    QStringList messages;
};

QStringList storedTitles(const RSSFeed *feed)
{
    QStringList titles;
    for (const RSSItem *entry : feed->feedEntries()) {
        titles.append(entry->title().value_or(none));
    }
    titles.sort();
    return titles;
}

// Sends the first request half of the first document and holds the rest back; every later
// request gets the whole second document. A download that is not abandoned keeps the held
// connection open.
class HalfAnsweringServer : public QObject
{
public:
    HalfAnsweringServer(const QByteArray &first, const QByteArray &second)
        : m_first(first)
        , m_second(second)
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            }
        });
    }

    bool isListening() const { return m_server.isListening(); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/feed.xml").arg(m_server.serverPort()); }
    int requestCount() const { return m_requestCount; }
    bool heldConnectionClosed() const { return m_held && m_held->state() == QAbstractSocket::UnconnectedState; }

private:
    void onReadyRead(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n")) {
            return;
        }
        buffer.clear();
        const QByteArray &document = ++m_requestCount == 1 ? m_first : m_second;
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: "
                      + QByteArray::number(document.size()) + "\r\n\r\n");
        if (m_requestCount == 1) {
            m_held = socket;
            socket->write(document.left(document.size() / 2));
            return;
        }
        socket->write(document);
    }

    QTcpServer m_server;
    QByteArray m_first;
    QByteArray m_second;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QPointer<QTcpSocket> m_held;
    int m_requestCount = 0;
};

} // namespace

// Feeds fetching their documents from a local HTTP server and from files: what each outcome
// leaves on the feed, and what a check started, cancelled or deleted in between does.
class tst_Fetching : public QObject
{
    Q_OBJECT

private:
    QString url(const QString &path, const QString &host = QStringLiteral("127.0.0.1")) const
    {
        return m_server->url(path, host).toString();
    }
    // A named feed (so the first document leaves the name alone) with its credentials; setting
    // the address starts the check.
    RSSFeed *subscribe(const QString &address, const Text &login = {}, const Text &password = {})
    {
        RSSFeed *feed = RSSFeed::insert(m_store.context.get());
        feed->setName(QStringLiteral("Fetch test"));
        feed->setLogin(login);
        feed->setPassword(password);
        feed->setUrl(address);
        return feed;
    }

    // A complete check of another feed on the same server: what a download started before it
    // would still deliver has been delivered by then.
    bool roundTrip() const
    {
        ObjectContext other;
        RSSFeed *witness = RSSFeed::insert(&other);
        witness->setUrl(url(QStringLiteral("/moved.xml")));
        return finishCheck(witness) && witness->feedEntries().size() == twoEntries.size();
    }

    StoreFixture m_store;
    std::unique_ptr<HttpTestServer> m_server;
    QTemporaryDir m_files;
    QByteArray m_feedBody;

private Q_SLOTS:
    void initTestCase()
    {
        m_feedBody = readTestData(QStringLiteral("fetch/two-entries.xml"));
        QVERIFY(!m_feedBody.isEmpty());
        QFile file(m_files.filePath(QStringLiteral("local feed.xml")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(m_feedBody) == m_feedBody.size());
        // The server lives for the whole run so the data functions know its port.
        m_server = std::make_unique<HttpTestServer>();
        QVERIFY(m_server->isListening());
    }
    void init()
    {
        QVERIFY2(m_store.setUp(StoreFixture::Store::File), qPrintable(m_store.context->errorString()));
        m_server->setResponse("/moved.xml", HttpTestResponse::ok(m_feedBody));
        m_server->setHandler("/private.xml",
                             HttpTestServer::basicAuth("reader", "s3cret", HttpTestResponse::ok(m_feedBody)));
        m_server->clearRequests();
    }
    void cleanup() { m_store.tearDown(); }
    void cleanupTestCase() { m_server.reset(); }

    void outcome_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<HttpTestResponse>("response"); // served at /feed.xml
        QTest::addColumn<Text>("login");
        QTest::addColumn<Text>("password");
        QTest::addColumn<qint64>("maximumBodySize");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("didConnectString");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<int>("updateMenusPosts");

        const QString feedUrl = url(QStringLiteral("/feed.xml"));
        const QString privateUrl = url(QStringLiteral("/private.xml"));
        const HttpTestResponse feed = HttpTestResponse::ok(m_feedBody);
        const qint64 noLimit = DownloadLimits().maximumBodySize;
        const int minute = 60000;
        const Text noLogin;
        const Text login(QStringLiteral("reader"));
        const QString refused = QStringLiteral("Invalid Username or Password");
        const QStringList connected{none, QString()};
        auto failed = [](const QString &reason, const QString &address) {
            return QStringList{none, QStringLiteral("Failed %1 %2").arg(reason, address)};
        };
        auto refusedThenFailed = [&](const QString &address) {
            return QStringList{none, refused, QStringLiteral("Failed 401 Unauthorized %1").arg(address)};
        };

        // A document: message "", connected, entries stored, menus rebuilt by the message and the parse.
        QTest::newRow("plain feed") << feedUrl << feed << noLogin << noLogin << noLimit << minute << connected << "Yes"
                                    << twoEntries << 2;
        QTest::newRow("chunked") << feedUrl << feed.withDelivery(Delivery::Chunked) << noLogin << noLogin << noLimit
                                 << minute << connected << "Yes" << twoEntries << 2;
        QTest::newRow("gzip") << feedUrl << feed.gzipped() << noLogin << noLogin << noLimit << minute << connected
                              << "Yes" << twoEntries << 2;
        QTest::newRow("redirect to another path")
            << feedUrl << HttpTestResponse::redirect("/moved.xml") << noLogin << noLogin << noLimit << minute
            << connected << "Yes" << twoEntries << 2;
        QTest::newRow("right credentials") << privateUrl << feed << login << Text("s3cret") << noLimit << minute
                                           << connected << "Yes" << twoEntries << 2;
        QTest::newRow("file feed") << QUrl::fromLocalFile(m_files.filePath(QStringLiteral("local feed.xml"))).toString()
                                   << feed << noLogin << noLogin << noLimit << minute << connected << "Yes"
                                   << twoEntries << 2;
        // A document that is not a feed fails the check and says what it was; a page served with
        // 200 in place of a feed used to count as a connected feed.
        const QStringList htmlPage{none, QStringLiteral("Not a feed: an HTML page")};
        QTest::newRow("HTML page") << feedUrl
                                   << HttpTestResponse::ok(
                                          "<html><head><title>Welcome</title></head><body><p>Hello</p></body></html>",
                                          "text/html")
                                   << noLogin << noLogin << noLimit << minute << htmlPage << "No" << QStringList() << 2;
        QTest::newRow("HTML page the XML parser cannot read")
            << feedUrl
            << HttpTestResponse::ok("\n<!doctype html>\n<meta charset=utf-8><title>Shop</title>\n"
                                    "<body class=home><p>Closed<br>today<img src=x.png alt=''></body>",
                                    "text/html")
            << noLogin << noLogin << noLimit << minute << htmlPage << "No" << QStringList() << 2;
        QTest::newRow("XHTML page with a prefix in capitals")
            << feedUrl
            << HttpTestResponse::ok("<?xml version='1.0'?><h:HTML xmlns:h='http://www.w3.org/1999/xhtml'>"
                                    "<h:body>Hello</h:body></h:HTML>",
                                    "application/xhtml+xml")
            << noLogin << noLogin << noLimit << minute << htmlPage << "No" << QStringList() << 2;
        QTest::newRow("other XML document")
            << feedUrl << HttpTestResponse::ok("<?xml version='1.0'?><opml version='2.0'><body/></opml>", "text/xml")
            << noLogin << noLogin << noLimit << minute
            << QStringList{none, QStringLiteral("Not a feed: a document whose root is <opml>")} << "No" << QStringList()
            << 2;
        QTest::newRow("not markup at all")
            << feedUrl << HttpTestResponse::ok("Service temporarily unavailable", "text/plain") << noLogin << noLogin
            << noLimit << minute << QStringList{none, QStringLiteral("Start tag expected, '<' not found")} << "No"
            << QStringList() << 2;

        // Refused credentials: the refusal, then the end of the download, which is a failure.
        QTest::newRow("wrong password") << privateUrl << feed << login << Text("wrong") << noLimit << minute
                                        << refusedThenFailed(privateUrl) << "No" << QStringList() << 2;
        QTest::newRow("login without password") << privateUrl << feed << login << noLogin << noLimit << minute
                                                << refusedThenFailed(privateUrl) << "No" << QStringList() << 2;
        QTest::newRow("no credentials") << privateUrl << feed << noLogin << noLogin << noLimit << minute
                                        << refusedThenFailed(privateUrl) << "No" << QStringList() << 2;
        // The credentials belong to 127.0.0.1; "localhost" is another host as far as they are concerned.
        const QString otherHost = url(QStringLiteral("/private.xml"), QStringLiteral("localhost"));
        QTest::newRow("redirect to another host that asks for credentials")
            << feedUrl << HttpTestResponse::redirect(otherHost.toUtf8()) << login << Text("s3cret") << noLimit << minute
            << refusedThenFailed(otherHost) << "No" << QStringList() << 2;

        // Failures: the message names the reason and the address; nothing is parsed.
        QTest::newRow("404 page") << feedUrl << HttpTestResponse::htmlError(404) << noLogin << noLogin << noLimit
                                  << minute << failed(QStringLiteral("404 Not Found"), feedUrl) << "No" << QStringList()
                                  << 1;
        QTest::newRow("500 page") << feedUrl << HttpTestResponse::htmlError(500) << noLogin << noLogin << noLimit
                                  << minute << failed(QStringLiteral("500 Internal Server Error"), feedUrl) << "No"
                                  << QStringList() << 1;
        QTest::newRow("connection reset mid-body")
            << feedUrl << feed.withDelivery(Delivery::ResetMidBody) << noLogin << noLogin << noLimit << minute
            << failed(QStringLiteral("Connection closed"), feedUrl) << "No" << QStringList() << 1;
        QTest::newRow("body over the limit")
            << feedUrl << feed.withDelivery(Delivery::Chunked) << noLogin << noLogin << qint64(100) << minute
            << failed(QStringLiteral("Feed document larger than 100 bytes"), feedUrl) << "No" << QStringList() << 1;
        QTest::newRow("server never answers")
            << feedUrl << feed.withDelivery(Delivery::NeverAnswer) << noLogin << noLogin << noLimit << 300
            << failed(QStringLiteral("Request timed out"), feedUrl) << "No" << QStringList() << 1;
        const QString missing = m_files.filePath(QStringLiteral("missing.xml"));
        QTest::newRow("missing file") << QUrl::fromLocalFile(missing).toString() << feed << noLogin << noLogin
                                      << noLimit << minute
                                      << failed(
                                             QStringLiteral("Error opening %1: No such file or directory").arg(missing),
                                             QUrl::fromLocalFile(missing).toString())
                                      << "No" << QStringList() << 1;
    }

    void outcome()
    {
        QFETCH(QString, address);
        QFETCH(HttpTestResponse, response);
        QFETCH(Text, login);
        QFETCH(Text, password);
        QFETCH(qint64, maximumBodySize);
        QFETCH(int, timeoutMs);
        QFETCH(QStringList, messages);
        QFETCH(QString, didConnectString);
        QFETCH(QStringList, stored);
        QFETCH(int, updateMenusPosts);

        m_server->setResponse("/feed.xml", response);

        RSSFeed *feed = RSSFeed::insert(m_store.context.get());
        feed->setName(QStringLiteral("Fetch test"));
        feed->setLogin(login);
        feed->setPassword(password);
        feed->setDownloadLimits({maximumBodySize, std::chrono::milliseconds(timeoutMs), DownloadLimits().totalTimeout});
        MessageLog log(m_store.context.get(), feed);
        FeedEventLog events(m_store.context.get());
        feed->setUrl(address);
        QVERIFY(feed->isDownloading());
        QVERIFY(finishCheck(feed));

        QCOMPARE(log.messages, messages);
        QCOMPARE(feed->errorMessage(), Text(messages.last()));
        QCOMPARE(feed->didConnectString(), Text(didConnectString));
        QCOMPARE(feed->didConnect(), didConnectString == QLatin1String("Yes"));
        QCOMPARE(storedTitles(feed), stored);
        QCOMPARE(events.count(QStringLiteral("updateMenus")), updateMenusPosts);
        // What was stored survives a save and a reload.
        QVERIFY(m_store.context->save());
        auto reloaded = m_store.openContext();
        const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(reloaded.get());
        QVERIFY(feeds && feeds->size() == 1);
        QCOMPARE(storedTitles(feeds->first()), stored);
        // Loading checked the feed again; that check is not part of this test.
        reloaded->deleteObject(feeds->first());
    }

    void unusableAddressStartsNothing_data()
    {
        QTest::addColumn<Text>("address");
        QTest::addColumn<bool>("pruned");

        QTest::newRow("no scheme") << Text("example.org/feed.xml") << false;
        QTest::newRow("web scheme without host") << Text("http:///feed.xml") << false;
        QTest::newRow("space in the host") << Text("http://exa mple.org/feed.xml") << false;
        QTest::newRow("scheme without host") << Text("mailto:feeds@example.org") << false;
        // Without any address the check still prunes the history.
        QTest::newRow("no address") << Text() << true;
    }

    void unusableAddressStartsNothing()
    {
        QFETCH(Text, address);
        QFETCH(bool, pruned);

        setPreference(Preferences::maximumEntryHistoryCount, 10);
        RSSFeed *feed = RSSFeed::insert(m_store.context.get());
        for (int i = 0; i < 12; ++i) {
            RSSItem *entry = RSSItem::insert(m_store.context.get());
            entry->setGuid(QString::number(i));
            entry->setDate(QDateTime(QDate(2024, 1, 1), QTime(0, i), QTimeZone::utc()));
            feed->addFeedEntry(entry);
        }
        const QString earlier = QStringLiteral("Failed earlier");
        feed->setErrorMessage(earlier);

        feed->setUrl(address);
        QVERIFY(!feed->isDownloading());
        QCOMPARE(feed->errorMessage(), Text(earlier));
        QCOMPARE(feed->didConnectString(), Text("No"));
        QCOMPARE(feed->feedEntries().size(), pruned ? 10 : 12);
    }

    void checkWhileDownloading()
    {
        HalfAnsweringServer server(m_feedBody, readTestData(QStringLiteral("fetch/other-entry.xml")));
        QVERIFY(server.isListening());
        RSSFeed *feed = subscribe(server.url());
        MessageLog log(m_store.context.get(), feed);
        QTRY_COMPARE(server.requestCount(), 1);

        feed->checkFeed();
        QVERIFY(finishCheck(feed));
        QCOMPARE(server.requestCount(), 2);
        // The first transfer was abandoned, not left to finish in the background.
        QTRY_VERIFY(server.heldConnectionClosed());
        QCOMPARE(log.messages, QStringList({none, QString()}));
        QCOMPARE(storedTitles(feed), QStringList{QStringLiteral("Other entry")});
    }

    // A round of many feeds holds downloads only for the few the queue sends; the others wait as
    // places in line, are sent in turn, and once each, even when checked again while waiting.
    void waitingChecksHoldNoDownload()
    {
        QList<RSSFeed *> stalled;
        QList<RSSFeed *> waiting;
        for (int index = 0; index < DownloadQueue::Slots + 4; ++index) {
            const bool stalls = index < DownloadQueue::Slots;
            const QString path =
                (stalls ? QStringLiteral("/stalled-%1.xml") : QStringLiteral("/waiting-%1.xml")).arg(index);
            const HttpTestResponse response = HttpTestResponse::ok(m_feedBody);
            m_server->setResponse(path.toUtf8(), stalls ? response.withDelivery(Delivery::NeverAnswer) : response);
            (stalls ? stalled : waiting).append(subscribe(m_server->url(path).toString()));
        }
        const auto downloads = [&stalled, &waiting] {
            qsizetype count = 0;
            for (const RSSFeed *feed : stalled + waiting) {
                count += feed->findChildren<FeedDownload *>(QString(), Qt::FindDirectChildrenOnly).size();
            }
            return count;
        };
        waiting.first()->checkFeed();
        QCOMPARE(downloads(), qsizetype(DownloadQueue::Slots));
        QVERIFY(
            std::all_of(waiting.cbegin(), waiting.cend(), [](const RSSFeed *feed) { return feed->isDownloading(); }));

        for (RSSFeed *feed : std::as_const(stalled)) {
            feed->cancelDownload();
        }
        for (RSSFeed *feed : std::as_const(waiting)) {
            QVERIFY(finishCheck(feed));
            QCOMPARE(m_server->requests(QUrl(*feed->url()).path().toUtf8()).size(), 1);
            QVERIFY(feed->didConnect());
        }
    }

    void recheckAfterDeletion_data()
    {
        QTest::addColumn<QString>("when");

        QTest::newRow("feed deleted while downloading") << QStringLiteral("downloading");
        QTest::newRow("feed deleted before its document is parsed") << QStringLiteral("parse pending");
        QTest::newRow("store closed before the document is parsed") << QStringLiteral("context destroyed");
    }

    // A feed that is deleted or destroyed hears nothing more of its download or its document.
    void recheckAfterDeletion()
    {
        QFETCH(QString, when);

        m_server->setResponse("/feed.xml", HttpTestResponse::ok(m_feedBody));
        RSSFeed *feed = RSSFeed::insert(m_store.context.get());
        MessageLog log(m_store.context.get(), feed);
        QObject::connect(m_store.context.get(), &ObjectContext::recordChanged, m_store.context.get(),
                         [&, feed](Record *record, const QString &key) {
                             if (record != feed || key != QLatin1String("errorMessage")
                                 || feed->errorMessage() != QString()) {
                                 return;
                             }
                             // Inside the download's callback: the parse has been deferred, not run.
                             if (when == QLatin1String("parse pending")) {
                                 m_store.context->deleteObject(feed);
                             } else if (when == QLatin1String("context destroyed")) {
                                 QMetaObject::invokeMethod(
                                     this, [this] { m_store.context.reset(); }, Qt::QueuedConnection);
                             }
                         });
        feed->setUrl(url(QStringLiteral("/feed.xml")));
        if (when == QLatin1String("downloading")) {
            m_store.context->deleteObject(feed);
            QVERIFY(!feed->isDownloading());
        }

        QVERIFY(roundTrip());
        if (when == QLatin1String("context destroyed")) {
            QTRY_VERIFY(!m_store.context);
            return;
        }
        QCoreApplication::sendPostedEvents(feed, QEvent::MetaCall);
        const QStringList expected =
            when == QLatin1String("downloading") ? QStringList{none} : QStringList{none, QString()};
        QCOMPARE(log.messages, expected);
        QCOMPARE(feed->feedEntries().size(), 0);
        QVERIFY(!RSSItem::existsWithGuid(m_store.context.get(), QStringLiteral("urn:brevlin:fetch:1")));
    }

    void setUrlRewrite_data()
    {
        QTest::addColumn<Text>("given");
        QTest::addColumn<Text>("stored");
        QTest::addColumn<bool>("downloads");

        // Nothing listens on port 1, so every download that starts ends at once; no TLS session with
        // the plain test server is left open.
        const QString local = QStringLiteral("://127.0.0.1:1/rewrite.xml");
        QTest::newRow("feed scheme becomes http") << Text("feed" + local) << Text("http" + local) << true;
        QTest::newRow("feeds scheme becomes https") << Text("feeds" + local) << Text("https" + local) << true;
        QTest::newRow("capital F is left alone") << Text("Feed" + local) << Text("Feed" + local) << true;
        QTest::newRow("any text starting with feed") << Text("feedback") << Text("httpback") << false;
        QTest::newRow("no address") << Text() << Text() << false;
    }

    void setUrlRewrite()
    {
        QFETCH(Text, given);
        QFETCH(Text, stored);
        QFETCH(bool, downloads);

        RSSFeed *feed = RSSFeed::insert(m_store.context.get());
        feed->setUrl(given);
        QCOMPARE(feed->url(), stored);
        QCOMPARE(feed->valueForKey(QStringLiteral("url")), RecordValue::fromOptional(stored));
        QCOMPARE(feed->isDownloading(), downloads);
        QVERIFY(finishCheck(feed));
    }

    void setUrlChecksEveryTime()
    {
        m_server->setResponse("/same.xml", HttpTestResponse::ok(m_feedBody));
        RSSFeed *feed = subscribe(url(QStringLiteral("/same.xml")));
        QVERIFY(finishCheck(feed));
        feed->setUrl(feed->url());
        QVERIFY(finishCheck(feed));
        QCOMPARE(m_server->requests("/same.xml").size(), 2);
    }

    void credentialsRecheck_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("checks");

        for (const QString &key : {QStringLiteral("login"), QStringLiteral("password")}) {
            QTest::addRow("%s on a connected feed", qPrintable(key)) << QStringLiteral("connected") << key << false;
            QTest::addRow("%s on a failed feed", qPrintable(key)) << QStringLiteral("failed") << key << true;
            QTest::addRow("%s while the first check runs", qPrintable(key)) << QStringLiteral("running") << key << true;
        }
    }

    void credentialsRecheck()
    {
        QFETCH(QString, state);
        QFETCH(QString, key);
        QFETCH(bool, checks);

        m_server->setResponse("/connected.xml", HttpTestResponse::ok(m_feedBody));
        m_server->setResponse("/running.xml", HttpTestResponse::ok(m_feedBody).withDelivery(Delivery::NeverAnswer));
        m_server->setResponse("/failed.xml", HttpTestResponse::htmlError(404));
        const QString path = QStringLiteral("/%1.xml").arg(state);
        RSSFeed *feed = subscribe(url(path));
        if (state != QLatin1String("running")) {
            QVERIFY(finishCheck(feed));
        }
        QCOMPARE(feed->didConnect(), state == QLatin1String("connected"));

        // Edited the way the subscription window edits it.
        feed->setValueForKey(key, QStringLiteral("reader"));
        QCOMPARE(feed->isDownloading(), checks);
        QTRY_COMPARE(m_server->requests(path.toUtf8()).size(), checks ? 2 : 1);
        feed->cancelDownload();
    }

    void twitterAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<Text>("generator");

        QTest::newRow("domain in the path") << url(QStringLiteral("/twitter.com/statuses.rss")) << Text("Twitter");
        // The address is looked at before it is found unusable.
        QTest::newRow("domain without scheme") << QStringLiteral("twitter.com/statuses") << Text("Twitter");
        QTest::newRow("domain in other case") << url(QStringLiteral("/Twitter.COM/statuses.rss")) << Text();
    }

    void twitterAddress()
    {
        QFETCH(QString, address);
        QFETCH(Text, generator);

        RSSFeed *feed = subscribe(address);
        QCOMPARE(feed->generator(), generator);
        QCOMPARE(feed->isTwitterFeed(), generator.has_value());
        QVERIFY(finishCheck(feed));
    }

    void awakeFromFetch_data()
    {
        QTest::addColumn<QVariant>("showGrowlsOnLaunch");
        QTest::addColumn<Text>("generator");
        QTest::addColumn<bool>("keepsLastFetchDate");
        QTest::addColumn<bool>("isTrac");
        QTest::addColumn<bool>("isTwitter");

        QTest::newRow("announcing at launch keeps the date") << QVariant(true) << Text() << true << false << false;
        QTest::newRow("not announcing at launch forgets it") << QVariant(false) << Text() << false << false << false;
        QTest::newRow("preference never set") << QVariant() << Text() << false << false << false;
        QTest::newRow("Trac generator") << QVariant(false) << Text("Trac 1.4") << false << true << false;
        QTest::newRow("Twitter generator") << QVariant(false) << Text("Twitter") << false << false << true;
    }

    void awakeFromFetch()
    {
        QFETCH(QVariant, showGrowlsOnLaunch);
        QFETCH(Text, generator);
        QFETCH(bool, keepsLastFetchDate);
        QFETCH(bool, isTrac);
        QFETCH(bool, isTwitter);

        const QDateTime fetched(QDate(2024, 3, 1), QTime(9, 0), QTimeZone::utc());
        {
            RSSFeed *feed = RSSFeed::insert(m_store.context.get());
            feed->setLastFetchDate(fetched);
            feed->setGenerator(generator);
            feed->setUrl(url(QStringLiteral("/feed.xml")));
            QVERIFY(m_store.context->save());
            m_store.context.reset();
        }
        if (showGrowlsOnLaunch.isValid()) {
            setPreference(Preferences::showGrowlsOnLaunch, showGrowlsOnLaunch);
        }
        m_server->setResponse("/feed.xml", HttpTestResponse::ok(m_feedBody));
        m_store.context = m_store.openContext();
        const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(m_store.context.get());
        QVERIFY(feeds && feeds->size() == 1);
        RSSFeed *feed = feeds->first();
        QCOMPARE(feed->lastFetchDate(), keepsLastFetchDate ? fetched : distantPast());
        QCOMPARE(feed->isTracFeed(), isTrac);
        QCOMPARE(feed->isTwitterFeed(), isTwitter);
        QCOMPARE(feed->didConnectString(), Text());
        // Loading checks the feed at once.
        QVERIFY(feed->isDownloading());
        QVERIFY(finishCheck(feed));
        QCOMPARE(feed->didConnectString(), Text("Yes"));
    }
};

QTEST_GUILESS_MAIN(tst_Fetching)
#include "tst_fetching.moc"
