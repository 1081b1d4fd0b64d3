#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "model/DownloadLimits.h"
#include "model/FeedDiscovery.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"

using namespace TestSupport;
using Routes = QList<std::pair<QByteArray, HttpTestResponse>>;

Q_DECLARE_METATYPE(Routes)

namespace {

HttpTestResponse html(const QByteArray &head, const QByteArray &body = "<p>Hello</p>")
{
    return HttpTestResponse::ok("<!DOCTYPE html>\n<html><head><title>A site</title>" + head + "</head><body>" + body
                                    + "</body></html>\n",
                                "text/html; charset=utf-8");
}

} // namespace

// Finding the feeds behind a website's address against a local HTTP server, hostile pages
// included: what is offered, in which order, and what is never tried.
class tst_Discovery : public QObject
{
    Q_OBJECT

private:
    QString url(const QString &path) const { return m_server->url(path).toString(); }
    // One line per feed found ("address|title|format"), or the failure.
    static QStringList discover(const QUrl &address, FeedDiscovery **finished = nullptr,
                                const DownloadLimits &limits = {})
    {
        auto *discovery = new FeedDiscovery(address);
        discovery->setDownloadLimits(limits);
        QSignalSpy spy(discovery, &FeedDiscovery::finished);
        discovery->start();
        if (!spy.wait(30000) || spy.size() != 1) {
            return {QStringLiteral("(did not finish once)")};
        }
        QStringList found;
        if (!discovery->errorString().isEmpty()) {
            found.append(discovery->errorString());
        }
        for (const DiscoveredFeed &feed : discovery->feeds()) {
            found.append(feed.url.toString() + QLatin1Char('|') + feed.title + QLatin1Char('|') + feed.format);
        }
        if (finished) {
            *finished = discovery;
        } else {
            delete discovery;
        }
        return found;
    }
    // Paths, not requests: Qt may send a request again on a fresh connection when a reused one
    // closes under it.
    int wellKnownRequests() const
    {
        int count = 0;
        for (const char *path : {"/feed", "/rss", "/atom.xml", "/feed.xml", "/rss.xml", "/index.xml"}) {
            count += m_server->requests(path).isEmpty() ? 0 : 1;
        }
        return count;
    }

    // Routes live for one test only.
    void serve(const QByteArray &path, const HttpTestResponse &response)
    {
        m_server->setResponse(path, response);
        m_routes.append(path);
    }

    std::unique_ptr<HttpTestServer> m_server;
    QByteArrayList m_routes;
    QByteArray m_rss;

private Q_SLOTS:
    void initTestCase()
    {
        m_rss = readTestData(QStringLiteral("fetch/two-entries.xml"));
        QVERIFY(!m_rss.isEmpty());
        m_server = std::make_unique<HttpTestServer>();
        QVERIFY(m_server->isListening());
    }
    void init() { m_server->clearRequests(); }
    void cleanup()
    {
        for (const QByteArray &path : std::as_const(m_routes)) {
            m_server->removeRoute(path);
        }
        m_routes.clear();
    }

    void discovery_data()
    {
        QTest::addColumn<Routes>("routes");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<int>("guesses"); // well-known paths asked for

        const QByteArray rdf = readTestData(QStringLiteral("feeds/rss1-items-beside-channel.xml"));
        const QByteArray atom = "<?xml version='1.0'?><feed xmlns='http://www.w3.org/2005/Atom'>"
                                "<title> Atom\n news </title><entry><title>One</title></entry></feed>";
        const QString site = url(QStringLiteral("/site/"));

        QTest::newRow("RSS 2.0 address") << Routes{{"/site/", HttpTestResponse::ok(m_rss)}} << site
                                         << QStringList{site + "|Brevlin fetch test|rss"} << 0;
        QTest::newRow("RSS 1.0 address") << Routes{{"/site/", HttpTestResponse::ok(rdf)}} << site
                                         << QStringList{site + "|RDF Channel|rdf"} << 0;
        QTest::newRow("Atom address, served as text") << Routes{{"/site/", HttpTestResponse::ok(atom, "text/plain")}}
                                                      << site << QStringList{site + "|Atom news|atom"} << 0;
        QTest::newRow("page naming feeds in document order")
            << Routes{{"/site/",
                       html("<link rel='stylesheet' type='text/css' href='style.css'>"
                            "<link rel='alternate' type='application/rss+xml' href='news.rss' title='News'>"
                            "<link rel='alternate nofollow' type='Application/Atom+XML; charset=utf-8' "
                            "href='https://feeds.example.org/atom' title='Atom'>"
                            "<link rel='alternate' type='text/html' hreflang='de' href='/de/'>"
                            "<link rel='alternate' type='application/rss+xml' href='news.rss' title='Again'>"
                            "<link rel='alternate' type='application/rdf+xml' href='/rdf' title='  RDF\n feed '>")}}
            << site
            << QStringList{url("/site/news.rss") + "|News|rss", "https://feeds.example.org/atom|Atom|atom",
                           url("/rdf") + "|RDF feed|rdf"}
            << 0;
        QTest::newRow("base element") << Routes{{"/site/",
                                                 html("<base href='/elsewhere/'><link rel=alternate "
                                                      "type=application/rss+xml href=feed.rss>")}}
                                      << site << QStringList{url("/elsewhere/feed.rss") + "||rss"} << 0;
        QTest::newRow("links resolved against the page after a redirect")
            << Routes{{"/old", HttpTestResponse::redirect("/site/")},
                      {"/site/", html("<link rel=alternate type=application/rss+xml href=news.rss>")}}
            << url("/old") << QStringList{url("/site/news.rss") + "||rss"} << 0;
        QTest::newRow("file and javascript links are never offered")
            << Routes{{"/site/",
                       html("<link rel=alternate type=application/rss+xml href='file:///etc/passwd'>"
                            "<link rel=alternate type=application/rss+xml href='javascript:alert(1)'>"
                            "<link rel=alternate type=application/atom+xml href='JavaScript:void(0)'>")},
                      {"/feed.xml", HttpTestResponse::ok(m_rss)}}
            << site << QStringList{url("/feed.xml") + "|Brevlin fetch test|rss"} << 6;
        // Both were dropped: the scheme browsers hand feeds over with, and a feed named after
        // more alternates of other types than are read.
        QTest::newRow("feed scheme reads as http")
            << Routes{{"/site/",
                       html("<link rel=alternate type=application/rss+xml href='feed://feeds.example.org/rss'>")}}
            << site << QStringList{"http://feeds.example.org/rss||rss"} << 0;
        QByteArray translations;
        for (int i = 0; i < 1500; ++i) {
            translations += "<link rel=alternate type=text/html hreflang=x" + QByteArray::number(i) + " href=/t"
                + QByteArray::number(i) + ">";
        }
        QTest::newRow("feed after 1,500 alternates of other types")
            << Routes{{"/site/", html(translations + "<link rel=alternate type=application/atom+xml href=/atom>")}}
            << site << QStringList{url("/atom") + "||atom"} << 0;
        QTest::newRow("well-known paths keep only feeds")
            << Routes{{"/site/", html("")},
                      {"/feed", html("")},
                      {"/rss", HttpTestResponse::redirect("/feeds/main.xml")},
                      {"/feeds/main.xml", HttpTestResponse::ok(m_rss)},
                      {"/index.xml", HttpTestResponse::ok(atom)}}
            << site << QStringList{url("/rss") + "|Brevlin fetch test|rss", url("/index.xml") + "|Atom news|atom"} << 6;
        QTest::newRow("nothing anywhere") << Routes{{"/site/", html("")}} << site << QStringList() << 6;
        QTest::newRow("feed address answering 404")
            << Routes{} << url("/gone.xml") << QStringList{"Failed 404 Not Found " + url("/gone.xml")} << 0;
        QTest::newRow("redirect loop") << Routes{{"/loop", HttpTestResponse::redirect("/loop")}} << url("/loop")
                                       << QStringList{"Failed Too many redirects " + url("/loop")} << 0;
    }

    void discovery()
    {
        QFETCH(Routes, routes);
        QFETCH(QString, address);
        QFETCH(QStringList, found);
        QFETCH(int, guesses);
        for (const auto &[path, response] : routes) {
            serve(path, response);
        }
        QCOMPARE(discover(QUrl(address)), found);
        QCOMPARE(wellKnownRequests(), guesses);
    }

    void oversizedPageFailsWithoutGuessing_data()
    {
        QTest::addColumn<HttpTestResponse::Delivery>("delivery");
        QTest::newRow("announced length") << HttpTestResponse::Delivery::Complete;
        QTest::newRow("chunked") << HttpTestResponse::Delivery::Chunked;
    }

    void oversizedPageFailsWithoutGuessing()
    {
        QFETCH(HttpTestResponse::Delivery, delivery);
        DownloadLimits limits;
        limits.maximumBodySize = 8 * 1024 * 1024;
        const QByteArray filler(50 * 1024 * 1024, 'x');
        serve("/huge", html("<link rel=alternate type=application/rss+xml href=/feed>", filler).withDelivery(delivery));
        const QStringList found = discover(m_server->url(QStringLiteral("/huge")), nullptr, limits);
        QCOMPARE(found, QStringList{"Failed Feed document larger than 8 MB " + url("/huge")});
        QCOMPARE(wellKnownRequests(), 0);
    }

    void pageOfManyLinksOffersTheFirstFew()
    {
        QByteArray head;
        for (int i = 0; i < 100000; ++i) {
            head += "<link rel=alternate type=application/rss+xml href=/f" + QByteArray::number(i) + ">\n";
        }
        serve("/many", html(head));
        QElapsedTimer timer;
        timer.start();
        const QStringList found = discover(m_server->url(QStringLiteral("/many")));
        QCOMPARE(found.size(), int(FeedDiscovery::MaximumFeeds));
        QCOMPARE(found.first(), url("/f0") + "||rss");
        QCOMPARE(found.last(), url(QStringLiteral("/f%1").arg(FeedDiscovery::MaximumFeeds - 1)) + "||rss");
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    }

    void destroyedWhileRunningSaysNothing()
    {
        serve("/silent", html("").withDelivery(HttpTestResponse::Delivery::NeverAnswer));
        auto discovery = std::make_unique<FeedDiscovery>(m_server->url(QStringLiteral("/silent")));
        QSignalSpy spy(discovery.get(), &FeedDiscovery::finished);
        discovery->start();
        QTRY_COMPARE(m_server->requests("/silent").size(), 1);
        discovery.reset();
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_Discovery)
#include "tst_discovery.moc"
