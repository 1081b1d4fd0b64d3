#include <QAuthenticator>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

#include "model/FeedEvents.h"
#include "model/FeedPasswords.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "platform/LazyWebArchiver.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "platform/WebArchiveJob.h"
#include "platform/webengine/WebEngineArchiver.h"
#include "store/ObjectContext.h"
#include "tests/fakes/FakePasswordStore.h"
#include "tests/fakes/FakeWebArchiver.h"
#include "tests/fakes/RecordingOpener.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/StoreFixture.h"

using TestSupport::PreferencesHome;

namespace {

const QRegularExpression archiveName(
    QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.mhtml$"));

// The page cache's log lines.
const QString pageCacheLog = QStringLiteral("RSSItem Page Caching: ");

QByteArray page(const QByteArray &body)
{
    return "<html><head><title>t</title><link rel=\"stylesheet\" href=\"/style.css\"></head><body>" + body
        + "<img src=\"/image.png\"></body></html>";
}

// A feed of three entries whose links are pages of server.
QByteArray feedDocument(const HttpTestServer &server)
{
    QByteArray items;
    for (int i = 1; i <= 3; ++i) {
        items += "<item><title>Post " + QByteArray::number(i) + "</title><guid>post-" + QByteArray::number(i)
            + "</guid><pubDate>Mon, 0" + QByteArray::number(i) + " Jun 2026 10:00:00 GMT</pubDate><link>"
            + server.url(QStringLiteral("/post-%1").arg(i)).toEncoded() + "</link></item>";
    }
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Local</title>" + items + "</channel></rss>";
}

} // namespace

// The cached copies of entry pages: when an entry starts caching, what it does with the outcome,
// and, through Qt WebEngine, the archives themselves.
class tst_PageCache : public QObject
{
    Q_OBJECT

private:
    RSSItem *addEntry(const std::optional<QString> &url)
    {
        RSSItem *entry = RSSItem::insert(m_context.get());
        entry->setGuid(QStringLiteral("entry-%1").arg(m_feed->feedEntries().size()));
        entry->setUrl(url);
        m_feed->addFeedEntry(entry);
        return entry;
    }
    void setCacheEnabled(bool enabled) { TestSupport::setPreference(Preferences::enableTargetPageCache, enabled); }
    QString cachesFolder() const { return m_home->cacheHome() + QStringLiteral("/Rss_Brevlin"); }
    QStringList cacheFiles() const { return QDir(cachesFolder()).entryList(QDir::Files | QDir::Hidden); }
    QString pageUrl(const QString &path) const { return m_server->url(path).toString(); }

    std::unique_ptr<PreferencesHome> m_home;
    std::unique_ptr<HttpTestServer> m_server;
    std::unique_ptr<ObjectContext> m_context;
    RSSFeed *m_feed = nullptr;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<PreferencesHome>();
        m_server = std::make_unique<HttpTestServer>();
        m_server->setResponse("/feed", HttpTestResponse::ok("<rss version=\"2.0\"><channel/></rss>"));
        m_server->setResponse("/style.css", HttpTestResponse::ok("p { color: red }", "text/css"));
        m_server->setResponse(
            "/image.png",
            HttpTestResponse::ok(
                QByteArray::fromBase64(
                    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg=="),
                "image/png"));
        m_context = std::make_unique<ObjectContext>();
        m_feed = RSSFeed::insert(m_context.get());
        setCacheEnabled(true);
    }
    void cleanup()
    {
        m_context.reset();
        m_server.reset();
        m_home.reset();
    }

    void startingConditions_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<std::optional<QString>>("url");
        QTest::addColumn<bool>("alreadyCached");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<bool>("spent");

        const std::optional<QString> web = QStringLiteral("https://example.org/post/1");
        QTest::newRow("preference off: nothing at all") << false << web << false << false << false;
        QTest::newRow("a web page loads") << true << web << false << true << true;
        QTest::newRow("an entry with a cache keeps it") << true << web << true << false << false;
        QTest::newRow("no address: spent without a load") << true << std::optional<QString>() << false << false << true;
        QTest::newRow("not an address") << true << std::optional<QString>(QStringLiteral("http://exa mple.org/%zz"))
                                        << false << false << true;
        QTest::newRow("script is never run")
            << true << std::optional<QString>(QStringLiteral("javascript:alert(1)")) << false << false << true;
        QTest::newRow("local files are never read")
            << true << std::optional<QString>(QStringLiteral("file:///etc/passwd")) << false << false << true;
    }
    void startingConditions()
    {
        QFETCH(bool, enabled);
        QFETCH(std::optional<QString>, url);
        QFETCH(bool, alreadyCached);
        QFETCH(bool, loads);
        QFETCH(bool, spent);
        FakeWebArchiver archiver;
        setCacheEnabled(enabled);
        RSSItem *entry = addEntry(url);
        if (alreadyCached) {
            entry->setCachedPath(cachesFolder() + QStringLiteral("/KEPT.mhtml"));
        }
        entry->cachePage();
        QCOMPARE(archiver.requests.size(), loads ? 1 : 0);
        QCOMPARE(entry->cachingPage(), spent);
        if (loads) {
            QCOMPARE(archiver.requests.first().url, QUrl(*url));
            QVERIFY2(archiveName.match(QFileInfo(archiver.requests.first().path).fileName()).hasMatch(),
                     qPrintable(archiver.requests.first().path));
            QCOMPARE(QFileInfo(archiver.requests.first().path).absolutePath(), cachesFolder());
        }
        // Neither a second rebuild nor switching the preference off and on starts another try.
        setCacheEnabled(false);
        setCacheEnabled(true);
        entry->cachePage();
        QCOMPARE(archiver.requests.size(), loads ? 1 : (spent || alreadyCached ? 0 : 1));
    }

    void outcome_data()
    {
        QTest::addColumn<bool>("archived");
        QTest::addColumn<bool>("enabledAtEnd");
        QTest::addColumn<bool>("cached");
        QTest::addColumn<int>("posts");
        QTest::addColumn<QStringList>("log");

        QTest::newRow("archived: recorded, menus rebuilt") << true << true << true << 1 << QStringList();
        QTest::newRow("archived after the preference went off: dropped")
            << true << false << false << 0 << QStringList();
        QTest::newRow("failed: one line, nothing recorded")
            << false << true << false << 0
            << QStringList{QStringLiteral("RSSItem Page Caching: Connection refused https://example.org/post/1")};
    }
    void outcome()
    {
        QFETCH(bool, archived);
        QFETCH(bool, enabledAtEnd);
        QFETCH(bool, cached);
        QFETCH(int, posts);
        QFETCH(QStringList, log);
        FakeWebArchiver archiver;
        RSSItem *entry = addEntry(QStringLiteral("https://example.org/post/1"));
        entry->cachePage();
        QCOMPARE(archiver.requests.size(), 1);
        const FakeWebArchiver::Request request = archiver.requests.first();
        QVERIFY(QDir().mkpath(cachesFolder()));
        QFile file(request.path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        setCacheEnabled(enabledAtEnd);

        TestSupport::LogCapture lines({}, pageCacheLog);
        QSignalSpy updateMenus(FeedEvents::of(entry->managedObjectContext()), &FeedEvents::updateMenus);
        if (archived) {
            Q_EMIT request.job->archived();
        } else {
            QFile::remove(request.path);
            Q_EMIT request.job->failed(QStringLiteral("Connection refused"),
                                       QStringLiteral("https://example.org/post/1"));
        }
        QCOMPARE(entry->cachedPath(), cached ? std::optional<QString>(request.path) : std::nullopt);
        QCOMPARE(QFile::exists(request.path), cached);
        QCOMPARE(updateMenus.size(), posts);
        QCOMPARE(lines.lines(), log);
        // The page is let go once it has an outcome.
        QTRY_VERIFY(!request.job);
        entry->cachePage();
        QCOMPARE(archiver.requests.size(), 1);
    }

    void credentials_data()
    {
        QTest::addColumn<std::optional<QString>>("login");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("previousFailures");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("logLines");

        const std::optional<QString> login = QStringLiteral("reader");
        QTest::newRow("the feed's server: its login, once")
            << login << QStringLiteral("127.0.0.1") << 0 << QStringLiteral("reader") << 0;
        QTest::newRow("rejected: refused and logged") << login << QStringLiteral("127.0.0.1") << 1 << QString() << 1;
        QTest::newRow("another host never gets it") << login << QStringLiteral("localhost") << 0 << QString() << 0;
        QTest::newRow("a feed without login sends none")
            << std::optional<QString>() << QStringLiteral("127.0.0.1") << 0 << QString() << 0;
    }
    void credentials()
    {
        QFETCH(std::optional<QString>, login);
        QFETCH(QString, host);
        QFETCH(int, previousFailures);
        QFETCH(QString, answer);
        QFETCH(int, logLines);
        FakeWebArchiver archiver;
        // Setting the address checks the feed: the server has it.
        m_feed->setUrl(pageUrl(QStringLiteral("/feed")));
        m_feed->setLogin(login);
        m_feed->setPassword(QStringLiteral("secret"));
        RSSItem *entry = addEntry(pageUrl(QStringLiteral("/page")));
        entry->cachePage();
        QCOMPARE(archiver.requests.size(), 1);

        TestSupport::LogCapture lines({}, pageCacheLog);
        QAuthenticator authenticator;
        Q_EMIT archiver.requests.first().job->authenticationRequired(m_server->url(QStringLiteral("/page"), host),
                                                                     previousFailures, &authenticator);
        QCOMPARE(authenticator.user(), answer);
        QCOMPARE(authenticator.password(), answer.isEmpty() ? QString() : QStringLiteral("secret"));
        QCOMPARE(lines.lines().size(), logLines);
        if (logLines) {
            QCOMPARE(lines.lines().first(), QStringLiteral("RSSItem Page Caching: Invalid Username or Password"));
        }
    }

    void passwordComesFromTheKeyringBeforeThePageLoads()
    {
        FakeWebArchiver archiver;
        FakePasswordStore keyring;
        FeedPasswords::instance()->setKeyring(&keyring);
        const auto uninstall = qScopeGuard([] { FeedPasswords::instance()->setKeyring(nullptr); });
        m_feed->setUrl(pageUrl(QStringLiteral("/feed")));
        keyring.items.insert(QStringLiteral("reader at ") + *m_feed->url(), QStringLiteral("from-keyring"));
        m_feed->setLogin(QStringLiteral("reader"));
        RSSItem *entry = addEntry(pageUrl(QStringLiteral("/page")));
        entry->cachePage();
        QCOMPARE(archiver.requests.size(), 0);
        QTRY_COMPARE(archiver.requests.size(), 1);
        QAuthenticator authenticator;
        Q_EMIT archiver.requests.first().job->authenticationRequired(m_server->url(QStringLiteral("/page")), 0,
                                                                     &authenticator);
        QCOMPARE(authenticator.password(), QStringLiteral("from-keyring"));
    }

    void removingDropsRunningLoad()
    {
        FakeWebArchiver archiver;
        RSSItem *entry = addEntry(QStringLiteral("https://example.org/post/1"));
        entry->cachePage();
        QCOMPARE(archiver.requests.size(), 1);
        entry->removePageCache();
        QVERIFY(!archiver.requests.first().job);
        QCOMPARE(entry->cachedPath(), std::nullopt);
        entry->cachePage();
        QCOMPARE(archiver.requests.size(), 1);
    }

    // Qt WebEngine against the local server from here on.

    void archivesPageWithItsResources()
    {
        m_server->setResponse("/page", HttpTestResponse::ok(page("<p>Hello offline</p>"), "text/html"));
        WebEngineArchiver archiver;
        WebArchiver::setShared(&archiver);
        RecordingOpener opener;
        RSSItem *entry = addEntry(pageUrl(QStringLiteral("/page")));
        QSignalSpy updateMenus(FeedEvents::of(entry->managedObjectContext()), &FeedEvents::updateMenus);
        entry->cachePage();
        entry->cachePage();
        QTRY_VERIFY_WITH_TIMEOUT(entry->cachedPath(), 30000);
        QCOMPARE(updateMenus.size(), 1);
        QCOMPARE(cacheFiles(), QStringList{QFileInfo(*entry->cachedPath()).fileName()});
        QCOMPARE(QFileInfo(*entry->cachedPath()).absolutePath(), cachesFolder());
        // Pages can come from behind a feed's login: they were left readable by everyone.
        QCOMPARE(TestSupport::permissionsOf(*entry->cachedPath()), 0600);
        QCOMPARE(TestSupport::permissionsOf(cachesFolder()), 0700);
        QVERIFY(archiveName.match(*entry->cachedID()).hasMatch());
        QFile file(*entry->cachedPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray archive = file.readAll();
        for (const char *part : {"/page", "/style.css", "/image.png"}) {
            QVERIFY2(archive.contains("Content-Location: " + m_server->url(QString::fromLatin1(part)).toEncoded()),
                     part);
        }
        QVERIFY(archive.contains("Hello offline"));
        QCOMPARE(m_server->requests("/page").size(), 1);
        QTRY_COMPARE(archiver.runningCount(), 0);

        entry->openFeed();
        QCOMPARE(opener.opened, QList<QUrl>{QUrl::fromLocalFile(*entry->cachedPath())});
        // Pruning the entry takes its archive with it.
        const QString path = *entry->cachedPath();
        entry->removePageCache();
        QVERIFY(!QFile::exists(path));
    }

    void failingPageIsLoggedOnce_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("description");
        QTest::newRow("not found") << QStringLiteral("/missing") << QStringLiteral("HTTP status 404");
        QTest::newRow("server error") << QStringLiteral("/broken") << QStringLiteral("HTTP status 500");
        QTest::newRow("nobody listening") << QString() << QString();
    }
    void failingPageIsLoggedOnce()
    {
        QFETCH(QString, path);
        QFETCH(QString, description);
        m_server->setResponse("/missing", HttpTestResponse::htmlError(404));
        m_server->setResponse("/broken", HttpTestResponse::htmlError(500));
        QString url = pageUrl(path);
        if (path.isEmpty()) {
            HttpTestServer closed;
            url = closed.url(QStringLiteral("/gone")).toString();
        }
        WebEngineArchiver archiver;
        WebArchiver::setShared(&archiver);
        TestSupport::LogCapture lines({}, pageCacheLog);
        RSSItem *entry = addEntry(url);
        entry->cachePage();
        QTRY_COMPARE_WITH_TIMEOUT(lines.lines().size(), 1, 30000);
        QVERIFY2(lines.lines().first().endsWith(QLatin1Char(' ') + url), qPrintable(lines.lines().first()));
        if (!description.isEmpty()) {
            QCOMPARE(lines.lines().first(), QStringLiteral("RSSItem Page Caching: %1 %2").arg(description, url));
        }
        entry->cachePage();
        QTRY_COMPARE(archiver.runningCount(), 0);
        QCOMPARE(lines.lines().size(), 1);
        if (!path.isEmpty()) {
            QCOMPARE(m_server->requests(path.toLatin1()).size(), 1);
        }
        QCOMPARE(entry->cachedPath(), std::nullopt);
        QCOMPARE(cacheFiles(), QStringList());
    }

    void basicAuth_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("archived");
        QTest::newRow("the feed's credentials open the page") << QStringLiteral("secret") << true;
        QTest::newRow("wrong credentials are sent once") << QStringLiteral("wrong") << false;
    }
    void basicAuth()
    {
        QFETCH(QString, password);
        QFETCH(bool, archived);
        m_server->setHandler(
            "/private",
            HttpTestServer::basicAuth("reader", "secret", HttpTestResponse::ok(page("<p>Members</p>"), "text/html")));
        m_feed->setUrl(pageUrl(QStringLiteral("/feed")));
        m_feed->setLogin(QStringLiteral("reader"));
        m_feed->setPassword(password);
        WebEngineArchiver archiver;
        WebArchiver::setShared(&archiver);
        TestSupport::LogCapture lines({}, pageCacheLog);
        RSSItem *entry = addEntry(pageUrl(QStringLiteral("/private")));
        entry->cachePage();
        if (archived) {
            QTRY_VERIFY_WITH_TIMEOUT(entry->cachedPath(), 30000);
            QVERIFY(lines.lines().isEmpty());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(lines.lines().size() >= 2, 30000);
            QCOMPARE(lines.lines().first(), QStringLiteral("RSSItem Page Caching: Invalid Username or Password"));
            QCOMPARE(lines.lines().filter(QStringLiteral("Invalid Username")).size(), 1);
            QCOMPARE(entry->cachedPath(), std::nullopt);
        }
        QTRY_COMPARE(archiver.runningCount(), 0);
        const QList<HttpTestRequest> requests = m_server->requests("/private");
        const auto withCredentials =
            std::count_if(requests.cbegin(), requests.cend(),
                          [](const HttpTestRequest &request) { return request.hasHeader("Authorization"); });
        QCOMPARE(withCredentials, 1);
    }

    void atMostTwoPagesLoadAtOnce()
    {
        WebEngineArchiver archiver;
        WebArchiver::setShared(&archiver);
        int mostRunning = 0;
        connect(m_server.get(), &HttpTestServer::requestReceived, this,
                [&] { mostRunning = std::max(mostRunning, archiver.runningCount()); });
        QList<RSSItem *> entries;
        for (int i = 0; i < 5; ++i) {
            const QString path = QStringLiteral("/page-%1").arg(i);
            m_server->setResponse(path.toLatin1(),
                                  HttpTestResponse::ok(page("<p>" + QByteArray::number(i) + "</p>"), "text/html"));
            entries.append(addEntry(pageUrl(path)));
            entries.last()->cachePage();
        }
        QCOMPARE(archiver.runningCount(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(entries.cbegin(), entries.cend(),
                                             [](const RSSItem *entry) { return entry->cachedPath().has_value(); }),
                                 45000);
        QCOMPARE(mostRunning, WebEngineArchiver::maximumRunning);
        QCOMPARE(cacheFiles().size(), 5);
    }

    void removingStopsRealLoad()
    {
        m_server->setResponse("/slow", HttpTestResponse::ok("").withDelivery(HttpTestResponse::Delivery::NeverAnswer));
        WebEngineArchiver archiver;
        WebArchiver::setShared(&archiver);
        TestSupport::LogCapture lines({}, pageCacheLog);
        RSSItem *entry = addEntry(pageUrl(QStringLiteral("/slow")));
        entry->cachePage();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->requests("/slow").size(), 1, 30000);
        entry->removePageCache();
        QTRY_COMPARE(archiver.runningCount(), 0);
        QTest::qWait(200);
        QCOMPARE(lines.lines(), QStringList());
        QCOMPARE(entry->cachedPath(), std::nullopt);
        QCOMPARE(cacheFiles(), QStringList());
    }

    void headlessProgramArchivesTopEntries()
    {
        m_server->setResponse("/news.xml", HttpTestResponse::ok(feedDocument(*m_server)));
        for (int i = 1; i <= 3; ++i) {
            m_server->setResponse(QByteArray("/post-") + QByteArray::number(i),
                                  HttpTestResponse::ok(page("<p>Post " + QByteArray::number(i) + "</p>"), "text/html"));
        }
        TestSupport::runProgram(
            {QStringLiteral("--add"), pageUrl(QStringLiteral("/news.xml")), QStringLiteral("--recent")});
        TestSupport::runProgram({QStringLiteral("--set"), Preferences::enableTargetPageCache, QStringLiteral("true")});

        QTemporaryDir temporaryFolder;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), temporaryFolder.path());
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(BREVLIN_BINARY), {QStringLiteral("--headless")});
        QVERIFY(program.waitForStarted());
        // A page still saving has a part file of its own: wait for the three archives.
        QTRY_COMPARE_WITH_TIMEOUT(QDir(cachesFolder()).entryList({QStringLiteral("*.mhtml")}, QDir::Files).size(), 3,
                                  45000);
        // Saves wait in the caches folder, whose sweep clears what a killed program left, and
        // no longer in a folder of the temporary folder that nothing ever removed.
        QCOMPARE(QDir(temporaryFolder.path()).entryList({QStringLiteral("rss-brevlin*")}, QDir::AllEntries),
                 QStringList());
        program.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 20000);
        QCOMPARE(program.exitCode(), 0);

        // The entries kept the names of their archives, so opening one opens its archive.
        const QJsonObject store =
            QJsonDocument::fromJson(TestSupport::runProgram({QStringLiteral("--dump-json")}).out.toUtf8()).object();
        QStringList recorded;
        for (const QJsonValue &feed : store.value(QStringLiteral("feeds")).toArray()) {
            for (const QJsonValue &entry : feed.toObject().value(QStringLiteral("entries")).toArray()) {
                recorded.append(QFileInfo(entry.toObject().value(QStringLiteral("cachedPath")).toString()).fileName());
            }
        }
        recorded.sort();
        QStringList files = cacheFiles();
        files.sort();
        QCOMPARE(recorded, files);
    }

    // The program loads the browser engine from its plugin on the first page (the headless test
    // above goes through it); a plugin that is missing or broken fails every page, with its cause.
    void unloadableEngineFailsEveryPage_data()
    {
        QTest::addColumn<QByteArray>("pluginBytes");
        QTest::addColumn<QString>("cause");
        QTest::newRow("no plugin") << QByteArray() << QStringLiteral("is in none of");
        QTest::newRow("not a library") << QByteArray("not an ELF file") << QStringLiteral("brevlin-webarchiver.so");
    }

    void unloadableEngineFailsEveryPage()
    {
        QFETCH(QByteArray, pluginBytes);
        QFETCH(QString, cause);
        QTemporaryDir folder;
        if (!pluginBytes.isEmpty()) {
            QFile plugin(QDir(folder.path()).filePath(LazyWebArchiver::pluginFileName()));
            QVERIFY(plugin.open(QIODevice::WriteOnly));
            plugin.write(pluginBytes);
        }
        LazyWebArchiver archiver(folder.path());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot load the browser engine")));
        for (int page = 0; page < 2; ++page) {
            const std::unique_ptr<WebArchiveJob> job =
                archiver.archive(QUrl(QStringLiteral("http://127.0.0.1:1/page")), folder.filePath(QStringLiteral("p")));
            QSignalSpy failed(job.get(), &WebArchiveJob::failed);
            QVERIFY(failed.wait(5000));
            const QString description = failed.first().first().toString();
            QVERIFY2(description.startsWith(QStringLiteral("The page cache cannot load the browser engine: ")),
                     qPrintable(description));
            QVERIFY2(description.contains(cause), qPrintable(description));
        }
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("p"))));
    }

    void preferenceOffStartsNoEngine()
    {
        m_server->setResponse("/page", HttpTestResponse::ok(page("<p>Hello</p>"), "text/html"));
        setCacheEnabled(false);
        WebEngineArchiver archiver;
        WebArchiver::setShared(&archiver);
        RSSItem *entry = addEntry(pageUrl(QStringLiteral("/page")));
        entry->cachePage();
        QTest::qWait(100);
        QVERIFY(!archiver.isEngineStarted());
        QCOMPARE(m_server->requests("/page").size(), 0);
    }
};

QTEST_MAIN(tst_PageCache)
#include "tst_pagecache.moc"
