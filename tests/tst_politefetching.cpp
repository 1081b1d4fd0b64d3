#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include <memory>

#include "model/FeedDownload.h"
#include "model/FeedScheduleHints.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "store/ObjectContext.h"
#include "tests/support/FeedCheckWait.h"
#include "tests/support/FeedEventLog.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/StoreFixture.h"

using namespace TestSupport;
using Text = std::optional<QString>;
using Moment = std::optional<QDateTime>;

Q_DECLARE_METATYPE(HttpTestResponse)
Q_DECLARE_METATYPE(Moment)

namespace {

const QByteArray etag = QByteArrayLiteral("\"v1\"");
const QByteArray lastModified = QByteArrayLiteral("Fri, 01 Mar 2024 09:00:00 GMT");

// The two entries of the first document and, dated later, one more.
QByteArray withOneMoreEntry(const QByteArray &document)
{
    QByteArray longer = document;
    longer.replace("</channel>",
                   "<item><title>Third entry</title><guid>urn:brevlin:fetch:3</guid>"
                   "<pubDate>Sat, 02 Mar 2024 10:00:00 GMT</pubDate></item></channel>");
    return longer;
}

} // namespace

// What a feed sends its server beyond the plain request and what it makes of the answers:
// validators for conditional requests, "304 Not Modified", and pauses a server asks for.
class tst_PoliteFetching : public QObject
{
    Q_OBJECT

private:
    QString feedUrl() const { return m_server->url(QStringLiteral("/feed.xml")).toString(); }
    RSSFeed *subscribe()
    {
        RSSFeed *feed = RSSFeed::insert(m_store.context.get());
        feed->setName(QStringLiteral("Polite test"));
        feed->setUrl(feedUrl());
        return feed;
    }
    HttpTestRequest lastRequest() const { return m_server->requests("/feed.xml").last(); }

    StoreFixture m_store;
    std::unique_ptr<HttpTestServer> m_server;
    QByteArray m_feedBody;

private Q_SLOTS:
    void initTestCase()
    {
        m_feedBody = readTestData(QStringLiteral("fetch/two-entries.xml"));
        QVERIFY(!m_feedBody.isEmpty());
        m_server = std::make_unique<HttpTestServer>();
        QVERIFY(m_server->isListening());
    }
    void init()
    {
        QVERIFY2(m_store.setUp(StoreFixture::Store::File), qPrintable(m_store.context->errorString()));
        m_server->setHandler("/feed.xml",
                             HttpTestServer::conditional(HttpTestResponse::ok(m_feedBody), etag, lastModified));
        m_server->clearRequests();
    }
    void cleanup() { m_store.tearDown(); }
    void cleanupTestCase() { m_server.reset(); }

    void notModifiedKeepsTheFeedConnected()
    {
        RSSFeed *feed = subscribe();
        QVERIFY(finishCheck(feed));
        QVERIFY(!lastRequest().hasHeader("If-None-Match"));
        QVERIFY(!lastRequest().hasHeader("If-Modified-Since"));
        QCOMPARE(feed->feedEntries().size(), 2);

        QSignalSpy ended(feed, &RSSFeed::checkEnded);
        FeedEventLog events(m_store.context.get());
        feed->checkFeed();
        QVERIFY(finishCheck(feed));
        QCOMPARE(lastRequest().header("If-None-Match"), etag);
        QCOMPARE(lastRequest().header("If-Modified-Since"), lastModified);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(feed->errorMessage(), Text(QStringLiteral("")));
        QCOMPARE(feed->didConnectString(), Text(QStringLiteral("Yes")));
        QCOMPARE(feed->feedEntries().size(), 2);
        QCOMPARE(events.names, QStringList{QStringLiteral("updateMenus")});

        // A server that sends the whole document again anyway is read as usual.
        m_server->setResponse("/feed.xml", HttpTestResponse::ok(withOneMoreEntry(m_feedBody)));
        feed->checkFeed();
        QVERIFY(finishCheck(feed));
        QCOMPARE(feed->feedEntries().size(), 3);
        // That answer named no validators, so the next check asks for the whole document.
        feed->checkFeed();
        QVERIFY(finishCheck(feed));
        QVERIFY(!lastRequest().hasHeader("If-None-Match"));
    }

    // A 304 to a request that named no document used to leave the feed connected and empty for good.
    void notModifiedToAPlainRequestFails()
    {
        HttpTestResponse unchanged;
        unchanged.status = 304;
        m_server->setResponse("/feed.xml", unchanged);
        RSSFeed *feed = subscribe();
        QSignalSpy ended(feed, &RSSFeed::checkEnded);
        QVERIFY(finishCheck(feed));
        QCOMPARE(ended.size(), 1);
        QCOMPARE(feed->errorMessage(), Text(QStringLiteral("Failed 304 Not Modified ") + feedUrl()));
        QCOMPARE(feed->didConnectString(), Text(QStringLiteral("No")));

        m_server->setHandler("/feed.xml",
                             HttpTestServer::conditional(HttpTestResponse::ok(m_feedBody), etag, lastModified));
        feed->checkFeed();
        QVERIFY(finishCheck(feed));
        QVERIFY(!lastRequest().hasHeader("If-None-Match"));
        QCOMPARE(feed->didConnectString(), Text(QStringLiteral("Yes")));
        QCOMPARE(feed->feedEntries().size(), 2);
    }

    void changeMakesTheNextCheckUnconditional_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("another address") << QStringLiteral("url");
        QTest::newRow("another login") << QStringLiteral("login");
        QTest::newRow("another password") << QStringLiteral("password");
    }

    void changeMakesTheNextCheckUnconditional()
    {
        QFETCH(QString, change);
        RSSFeed *feed = subscribe();
        QVERIFY(finishCheck(feed));
        if (change == QLatin1String("url")) {
            // The server ignores the query: the same document under another address.
            feed->setUrl(feedUrl() + QStringLiteral("?edition=2"));
        } else if (change == QLatin1String("login")) {
            feed->setLogin(QStringLiteral("reader"));
        } else {
            feed->setPassword(QStringLiteral("s3cret"));
        }
        // A new address starts its own check; new credentials of a connected feed do not.
        if (!feed->isDownloading()) {
            feed->checkFeed();
        }
        QVERIFY(finishCheck(feed));
        QVERIFY(m_server->requests("/feed.xml").size() >= 2);
        QVERIFY(!lastRequest().hasHeader("If-None-Match"));
        QVERIFY(!lastRequest().hasHeader("If-Modified-Since"));
    }

    // With validators kept across launches the check at launch would get a 304, lastFetchDate
    // would stay in the distant past, and the next new entry would be stored unannounced.
    void firstNewEntryAfterRestartIsAnnounced()
    {
        RSSFeed *feed = subscribe();
        QVERIFY(finishCheck(feed));
        feed->checkFeed();
        QVERIFY(finishCheck(feed));
        QCOMPARE(m_server->requests("/feed.xml").last().header("If-None-Match"), etag);
        QVERIFY(m_store.context->save());
        m_store.context.reset();

        m_server->clearRequests();
        m_store.context = m_store.openContext();
        const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(m_store.context.get());
        QVERIFY(feeds && feeds->size() == 1);
        RSSFeed *reloaded = feeds->first();
        QVERIFY(finishCheck(reloaded));
        QVERIFY(!m_server->requests("/feed.xml").isEmpty());
        QVERIFY(!lastRequest().hasHeader("If-None-Match"));

        m_server->setHandler("/feed.xml",
                             HttpTestServer::conditional(HttpTestResponse::ok(withOneMoreEntry(m_feedBody)), "\"v2\"",
                                                         "Sat, 02 Mar 2024 10:00:00 GMT"));
        FeedEventLog events(m_store.context.get());
        reloaded->checkFeed();
        QVERIFY(finishCheck(reloaded));
        QStringList announced;
        for (const RSSItem *entry : std::as_const(events.announced)) {
            announced.append(entry->title().value_or(QString()));
        }
        QCOMPARE(announced, QStringList{QStringLiteral("Third entry")});
        QCOMPARE(reloaded->feedEntries().size(), 3);
    }

    void retryAfter_data()
    {
        QTest::addColumn<HttpTestResponse>("response");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("holdsBack");

        const HttpTestResponse tooMany = HttpTestResponse::htmlError(429);
        const HttpTestResponse unavailable = HttpTestResponse::htmlError(503);
        const QString tooManyText = QStringLiteral("Failed 429 Too Many Requests ") + feedUrl();
        const QString unavailableText = QStringLiteral("Failed 503 Service Unavailable ") + feedUrl();
        const QByteArray inAnHour = QDateTime::currentDateTimeUtc().addSecs(3600).toString(Qt::RFC2822Date).toLatin1();
        QTest::newRow("429 with seconds") << tooMany.withHeader("Retry-After", "120") << tooManyText << true;
        QTest::newRow("503 with an HTTP date")
            << unavailable.withHeader("Retry-After", inAnHour) << unavailableText << true;
        QTest::newRow("429 without Retry-After") << tooMany << tooManyText << false;
        QTest::newRow("429 with a moment already past")
            << tooMany.withHeader("Retry-After", "Thu, 01 Jan 1970 00:00:00 GMT") << tooManyText << false;
        QTest::newRow("500 is no request to wait")
            << HttpTestResponse::htmlError(500).withHeader("Retry-After", "120")
            << QStringLiteral("Failed 500 Internal Server Error ") + feedUrl() << false;
    }

    void retryAfter()
    {
        QFETCH(HttpTestResponse, response);
        QFETCH(QString, message);
        QFETCH(bool, holdsBack);

        m_server->setResponse("/feed.xml", response);
        RSSFeed *feed = subscribe();
        QVERIFY(finishCheck(feed));
        QCOMPARE(feed->errorMessage(), Text(message));

        m_server->setResponse("/feed.xml", HttpTestResponse::ok(m_feedBody));
        const qsizetype requestsBefore = m_server->requests("/feed.xml").size();
        feed->checkFeed();
        QCOMPARE(feed->isDownloading(), !holdsBack);
        QVERIFY(finishCheck(feed));
        QCOMPARE(m_server->requests("/feed.xml").size() > requestsBefore, !holdsBack);
        QCOMPARE(feed->errorMessage(), holdsBack ? Text(message) : Text(QStringLiteral("")));

        // The next process is held back as well: it was fixed that it asked again at once.
        QVERIFY(m_store.context->save());
        m_store.context = m_store.openContext();
        const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(m_store.context.get());
        QVERIFY(feeds && feeds->size() == 1);
        feed = feeds->first();
        QCOMPARE(feed->isDownloading(), !holdsBack);
        QVERIFY(finishCheck(feed));

        // A new address is another server's business: it is checked at once.
        feed->setUrl(feedUrl() + QStringLiteral("?moved"));
        QVERIFY(feed->isDownloading());
        QVERIFY(finishCheck(feed));
        QCOMPARE(feed->didConnectString(), Text(QStringLiteral("Yes")));
        QCOMPARE(feed->retryAfter(), Moment());
    }

    // How long a response stays fresh by its cache headers, as a check's interval may follow it.
    void freshness_data()
    {
        QTest::addColumn<QByteArray>("cacheControl");
        QTest::addColumn<QByteArray>("expires");
        QTest::addColumn<QByteArray>("date");
        QTest::addColumn<qint64>("seconds"); // -1 for none

        const QByteArray at13 = "Fri, 01 Mar 2024 13:00:00 GMT";
        QTest::newRow("max-age") << QByteArray("max-age=600") << QByteArray() << QByteArray() << qint64(600);
        QTest::newRow("max-age among other directives")
            << QByteArray("public, Max-Age=7200, must-revalidate") << QByteArray() << QByteArray() << qint64(7200);
        QTest::newRow("max-age beyond a day, capped")
            << QByteArray("max-age=172800") << QByteArray() << QByteArray() << qint64(86400);
        QTest::newRow("max-age of 10^12, capped")
            << QByteArray("max-age=1000000000000") << QByteArray() << QByteArray() << qint64(86400);
        QTest::newRow("max-age wins over Expires") << QByteArray("max-age=60") << at13 << QByteArray() << qint64(60);
        QTest::newRow("max-age that is no number") << QByteArray("max-age=soon") << at13 << QByteArray() << qint64(-1);
        QTest::newRow("negative max-age") << QByteArray("max-age=-1") << QByteArray() << QByteArray() << qint64(-1);
        QTest::newRow("Expires against Date")
            << QByteArray("no-cache") << at13 << QByteArray("Fri, 01 Mar 2024 12:15:00 GMT") << qint64(2700);
        QTest::newRow("Expires against now, without Date") << QByteArray() << at13 << QByteArray() << qint64(3600);
        QTest::newRow("Expires past") << QByteArray() << QByteArray("Fri, 01 Mar 2024 11:00:00 GMT") << QByteArray()
                                      << qint64(-1);
        QTest::newRow("Expires unreadable") << QByteArray() << QByteArray("never") << QByteArray() << qint64(-1);
        QTest::newRow("no header") << QByteArray() << QByteArray() << QByteArray() << qint64(-1);
    }
    void freshness()
    {
        QFETCH(QByteArray, cacheControl);
        QFETCH(QByteArray, expires);
        QFETCH(QByteArray, date);
        QFETCH(qint64, seconds);
        const QDateTime now(QDate(2024, 3, 1), QTime(12, 0), QTimeZone::utc());
        QCOMPARE(FeedScheduleHints::freshnessSeconds(cacheControl, expires, date, now),
                 seconds < 0 ? std::nullopt : std::optional<qint64>(seconds));
    }

    // The document's hint and the response's together: the longer one is the feed's.
    void documentAndResponseHintsTogether()
    {
        const QByteArray body = "<rss><channel><ttl>60</ttl></channel></rss>";
        RSSFeed *feed = nullptr;
        for (const auto &[maxAge, hinted] : {std::pair{"max-age=120", 3600}, std::pair{"max-age=7200", 7200}}) {
            m_server->setResponse("/feed.xml", HttpTestResponse::ok(body).withHeader("Cache-Control", maxAge));
            if (feed) {
                feed->checkFeed();
            } else {
                feed = subscribe();
            }
            QVERIFY(finishCheck(feed));
            QCOMPARE(feed->hintedInterval(), std::optional<qint64>(hinted));
        }
    }

    void retryMoment_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<Moment>("expected");

        const QDateTime now(QDate(2024, 3, 1), QTime(12, 0), QTimeZone::utc());
        QTest::newRow("seconds") << QByteArray("120") << Moment(now.addSecs(120));
        QTest::newRow("seconds with spaces") << QByteArray(" 30 ") << Moment(now.addSecs(30));
        QTest::newRow("zero") << QByteArray("0") << Moment();
        QTest::newRow("negative") << QByteArray("-5") << Moment();
        QTest::newRow("a week, capped at a day") << QByteArray("604800") << Moment(now.addDays(1));
        QTest::newRow("too many digits for 64 bits, capped")
            << QByteArray("99999999999999999999999") << Moment(now.addDays(1));
        QTest::newRow("HTTP date") << QByteArray("Fri, 01 Mar 2024 13:30:00 GMT") << Moment(now.addSecs(5400));
        QTest::newRow("HTTP date next year, capped")
            << QByteArray("Sat, 01 Mar 2025 12:00:00 GMT") << Moment(now.addDays(1));
        QTest::newRow("HTTP date past") << QByteArray("Fri, 01 Mar 2024 11:00:00 GMT") << Moment();
        QTest::newRow("garbage") << QByteArray("soon") << Moment();
        QTest::newRow("empty") << QByteArray() << Moment();
    }

    void retryMoment()
    {
        QFETCH(QByteArray, value);
        QFETCH(Moment, expected);
        const QDateTime now(QDate(2024, 3, 1), QTime(12, 0), QTimeZone::utc());
        QCOMPARE(FeedDownload::retryMoment(value, now), expected);
    }
};

QTEST_GUILESS_MAIN(tst_PoliteFetching)
#include "tst_politefetching.moc"
