#include <QProcess>
#include <QtTest>

#include "platform/NetworkProxy.h"
#include "platform/Preferences.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/ProgramRun.h"

using namespace TestSupport;

namespace {

// "http://host:port", "socks5://host:port" or "direct", for readable comparisons.
QString describeProxy(const QNetworkProxy &proxy)
{
    switch (proxy.type()) {
    case QNetworkProxy::HttpProxy:
        return QStringLiteral("http://%1:%2").arg(proxy.hostName()).arg(proxy.port());
    case QNetworkProxy::Socks5Proxy:
        return QStringLiteral("socks5://%1:%2").arg(proxy.hostName()).arg(proxy.port());
    case QNetworkProxy::NoProxy:
        return QStringLiteral("direct");
    default:
        return QStringLiteral("type %1").arg(proxy.type());
    }
}

QProcessEnvironment environmentWith(const QStringList &assignments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &assignment : assignments) {
        environment.insert(assignment.section(QLatin1Char('='), 0, 0), assignment.section(QLatin1Char('='), 1));
    }
    return environment;
}

QByteArray feedLinkingTo(const QByteArray &pageUrl)
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Behind</title><item><title>Post</title>"
           "<guid>post-1</guid><pubDate>Mon, 01 Jun 2026 10:00:00 GMT</pubDate><link>"
        + pageUrl + "</link></item></channel></rss>";
}

} // namespace

// The proxy every request goes through: the preference, else the system's from the environment.
class tst_Proxy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void systemProxy_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("expected");

        QTest::newRow("nothing set") << QStringList() << "http://a.example/"
                                     << "direct";
        QTest::newRow("http_proxy for http") << QStringList{"http_proxy=http://p:3128"} << "http://a.example/"
                                             << "http://p:3128";
        QTest::newRow("no scheme is http, no port is 1080") << QStringList{"http_proxy=p"} << "http://a.example/"
                                                            << "http://p:1080";
        QTest::newRow("https_proxy for https")
            << QStringList{"http_proxy=http://p:1", "https_proxy=http://s:2"} << "https://a.example/"
            << "http://s:2";
        QTest::newRow("upper-case HTTPS_PROXY") << QStringList{"HTTPS_PROXY=http://s:2"} << "https://a.example/"
                                                << "http://s:2";
        QTest::newRow("upper-case HTTP_PROXY") << QStringList{"HTTP_PROXY=http://p:1"} << "http://a.example/"
                                               << "http://p:1";
        QTest::newRow("all_proxy with socks5") << QStringList{"all_proxy=socks5://s:1080"} << "https://a.example/"
                                               << "socks5://s:1080";
        QTest::newRow("scheme's own before all_proxy")
            << QStringList{"all_proxy=socks5://s:1080", "http_proxy=http://p:3128"} << "http://a.example/"
            << "http://p:3128";
        QTest::newRow("unusable proxy is none") << QStringList{"http_proxy=ftp://p:21"} << "http://a.example/"
                                                << "direct";
        const QStringList proxied{"http_proxy=http://p:3128", "https_proxy=http://p:3128"};
        QTest::newRow("no_proxy host") << proxied + QStringList{"no_proxy=a.example"} << "http://a.example/x"
                                       << "direct";
        QTest::newRow("no_proxy domain covers subdomains")
            << proxied + QStringList{"no_proxy=localhost, example.org"} << "https://news.example.org/"
            << "direct";
        QTest::newRow("no_proxy leading dot") << proxied + QStringList{"NO_PROXY=.example.org"} << "http://example.org/"
                                              << "direct";
        QTest::newRow("no_proxy is no substring")
            << proxied + QStringList{"no_proxy=example.org"} << "http://badexample.org/"
            << "http://p:3128";
        QTest::newRow("no_proxy address") << proxied + QStringList{"no_proxy=127.0.0.1"} << "http://127.0.0.1:8080/"
                                          << "direct";
        QTest::newRow("no_proxy IPv6 address") << proxied + QStringList{"no_proxy=[::1]"} << "http://[::1]:8080/"
                                               << "direct";
        QTest::newRow("no_proxy port must match")
            << proxied + QStringList{"no_proxy=a.example:8080"} << "http://a.example/"
            << "http://p:3128";
        QTest::newRow("no_proxy port matches")
            << proxied + QStringList{"no_proxy=a.example:8080"} << "http://a.example:8080/"
            << "direct";
        QTest::newRow("no_proxy star") << proxied + QStringList{"no_proxy=*"} << "https://a.example/"
                                       << "direct";
    }

    void systemProxy()
    {
        QFETCH(QStringList, environment);
        QFETCH(QString, target);
        QFETCH(QString, expected);
        QProcessEnvironment env;
        for (const QString &assignment : environment) {
            env.insert(assignment.section(QLatin1Char('='), 0, 0), assignment.section(QLatin1Char('='), 1));
        }
        QCOMPARE(describeProxy(NetworkProxy::systemProxyFor(QUrl(target), env)), expected);
    }

    void preferenceValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected"); // empty: refused

        QTest::newRow("empty is the system's") << ""
                                               << "system";
        QTest::newRow("none") << "none"
                              << "direct";
        QTest::newRow("None in capitals") << " None "
                                          << "direct";
        QTest::newRow("http proxy") << "http://proxy.lan:3128"
                                    << "http://proxy.lan:3128";
        QTest::newRow("socks5 proxy") << "socks5://127.0.0.1:1080"
                                      << "socks5://127.0.0.1:1080";
        QTest::newRow("socks5h proxy") << "socks5h://s"
                                       << "socks5://s:1080";
        QTest::newRow("misspelt none") << "nnoe"
                                       << "";
        QTest::newRow("other scheme") << "ftp://p:21"
                                      << "";
        QTest::newRow("no host") << "http://:3128"
                                 << "";
    }

    void preferenceValues()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        const std::optional<NetworkProxy::Choice> choice = NetworkProxy::choiceFromPreference(value);
        if (expected.isEmpty()) {
            QVERIFY(!choice);
            return;
        }
        QVERIFY(choice);
        QCOMPARE(choice->kind == NetworkProxy::Choice::Kind::System ? QStringLiteral("system")
                                                                    : describeProxy(choice->proxy),
                 expected);
    }

    void setRefusesWhatIsNoProxy()
    {
        TemporaryHome home;
        const Outcome refused = runProgram({QStringLiteral("--set"), Preferences::proxy, QStringLiteral("nnoe")});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.err.contains(QLatin1String("a proxy's URL")), qPrintable(describe(refused)));
        RUN_OK(set, {QStringLiteral("--set"), Preferences::proxy, QStringLiteral("socks5://127.0.0.1:1080")});
        RUN_OK(get, {QStringLiteral("--get"), Preferences::proxy});
        QCOMPARE(get.out, QStringLiteral("socks5://127.0.0.1:1080\n"));
    }

    // The proxy answers for hosts that exist nowhere else, so a request that went around it fails.
    void everyRequestGoesThroughTheProxy_data()
    {
        QTest::addColumn<bool>("byPreference");
        QTest::newRow("environment") << false;
        QTest::newRow("preference") << true;
    }

    void everyRequestGoesThroughTheProxy()
    {
        QFETCH(bool, byPreference);
        TemporaryHome home;
        HttpTestServer proxy;
        proxy.setResponse("http://feeds.invalid/news.xml",
                          HttpTestResponse::ok(feedLinkingTo("http://pages.invalid/post-1")));
        proxy.setResponse("http://site.invalid/",
                          HttpTestResponse::ok("<html><head><link rel=\"alternate\" type=\"application/rss+xml\" "
                                               "href=\"http://feeds.invalid/news.xml\"></head></html>",
                                               "text/html"));
        proxy.setResponse("http://pages.invalid/post-1", HttpTestResponse::ok("<p>Post</p>", "text/html"));
        const QString proxyUrl = QStringLiteral("http://127.0.0.1:%1").arg(proxy.port());
        const QProcessEnvironment environment = byPreference
            ? environmentWith({QStringLiteral("http_proxy=http://127.0.0.1:9")})
            : environmentWith({QStringLiteral("http_proxy=") + proxyUrl});
        if (byPreference) {
            // The preference wins over an environment whose proxy would refuse every connection.
            RUN_OK(set, {QStringLiteral("--set"), Preferences::proxy, proxyUrl});
        }

        const Outcome discovered =
            runProgram({QStringLiteral("--discover"), QStringLiteral("http://site.invalid/")}, 60'000, environment);
        QVERIFY2(discovered.out.startsWith(QLatin1String("http://feeds.invalid/news.xml\t")),
                 qPrintable(describe(discovered)));
        RUN_OK(added,
               {QStringLiteral("--add"), QStringLiteral("http://feeds.invalid/news.xml"), QStringLiteral("--recent")});
        RUN_OK(cacheOn, {QStringLiteral("--set"), Preferences::enableTargetPageCache, QStringLiteral("true")});

        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(binaryPath(), {QStringLiteral("--headless")});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!proxy.requests("http://pages.invalid/post-1").isEmpty(), 45000);
        program.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 20000);
        QVERIFY(!proxy.requests("http://site.invalid/").isEmpty());
        QVERIFY(!proxy.requests("http://feeds.invalid/news.xml").isEmpty());
        // Through the proxy, and still under the program's own name.
        QVERIFY(
            proxy.requests("http://feeds.invalid/news.xml").first().header("User-Agent").startsWith("RSS Brevlin/"));
    }

    void noProxyGoesDirect()
    {
        TemporaryHome home;
        HttpTestServer proxy;
        HttpTestServer origin;
        origin.setResponse("/news.xml", HttpTestResponse::ok(feedLinkingTo("http://127.0.0.1/post")));
        RUN_OK(added, {QStringLiteral("--add"), origin.url(QStringLiteral("/news.xml")).toString()});
        const QString proxyUrl = QStringLiteral("http://127.0.0.1:%1").arg(proxy.port());
        RUN_OK(checked, {QStringLiteral("--check-once")}, 60'000,
               environmentWith(
                   {QStringLiteral("http_proxy=") + proxyUrl, QStringLiteral("no_proxy=localhost,127.0.0.1")}));
        QCOMPARE(origin.requests("/news.xml").size(), 1);
        QCOMPARE(proxy.requests().size(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_Proxy)
#include "tst_proxy.moc"
