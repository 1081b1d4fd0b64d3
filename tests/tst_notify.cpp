// The notification bridge against a notification server on a private session bus: what is
// posted, what a click or a time-out does, and servers that are missing, late or gone.

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimeZone>

#include <csignal>
#include <memory>

#include "controller/FeedCheckRound.h"
#include "controller/RSSBrevlinController.h"
#include "fakes/FakeAlerts.h"
#include "fakes/FakeIdleTimeProvider.h"
#include "fakes/FakeNotificationServer.h"
#include "fakes/RecordingOpener.h"
#include "model/FeedEvents.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "notify/BrevlinObject.h"
#include "notify/NotificationBridgeHost.h"
#include "notify/NotificationPinning.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "platform/dbus/FreedesktopNotificationService.h"
#include "store/ObjectContext.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/StoreFixture.h"

using namespace TestSupport;

namespace {

// The controller's part, as small as a test needs it.
class TestHost : public NotificationBridgeHost
{
public:
    explicit TestHost(ObjectContext *context)
        : m_context(context)
    {
    }
    QList<RSSFeed *> rssFeeds() override { return RSSFeed::fetchFeeds(m_context).value_or(QList<RSSFeed *>()); }
    bool pinGrowlNotification() override
    {
        return NotificationPinning::shouldPin(*UserDefaults::standardUserDefaults());
    }

private:
    ObjectContext *m_context;
};

// A channel linking to link whose entries "<prefix> 0" to "<prefix> count-1" are dated a minute apart,
// the last the newest.
QByteArray channelWithEntries(const QString &prefix, int count, const QString &link)
{
    QString items;
    const QDateTime first(QDate(2024, 3, 1), QTime(8, 0), QTimeZone::utc());
    for (int i = 0; i < count; ++i) {
        items += QStringLiteral("<item><title>%1 %2</title><guid>%1-%2</guid><pubDate>%3</pubDate></item>")
                     .arg(prefix)
                     .arg(i)
                     .arg(first.addSecs(60 * i).toString(Qt::RFC2822Date));
    }
    return QStringLiteral("<rss><channel><link>%1</link>%2</channel></rss>").arg(link, items).toUtf8();
}

} // namespace

class tst_Notify : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PreferencesHome> m_home;
    std::unique_ptr<RecordingOpener> m_opener;
    std::unique_ptr<FakeNotificationServer> m_server;
    std::unique_ptr<ObjectContext> m_context;
    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<FreedesktopNotificationService> m_service;
    std::unique_ptr<BrevlinObject> m_bridge;
    FakeIdleTimeProvider *m_idle = nullptr;

    // The service and the bridge, made after the test decided whether a server runs.
    void createBridge()
    {
        m_service = std::make_unique<FreedesktopNotificationService>();
        m_bridge = std::make_unique<BrevlinObject>(m_host.get(), m_service.get());
    }

    RSSItem *addEntry(RSSFeed *feed, const QString &title, const QString &url,
                      const QString &text = QStringLiteral("Some text"))
    {
        RSSItem *item = RSSItem::insert(m_context.get());
        item->setTitle(title);
        item->setUrl(url);
        item->setText(text);
        feed->addFeedEntry(item);
        return item;
    }

    RSSFeed *addFeed(const std::optional<QString> &name)
    {
        RSSFeed *feed = RSSFeed::insert(m_context.get());
        feed->setName(name);
        return feed;
    }

    // Posts one entry and waits until the server has it; the id the server gave it.
    uint postAndWait(RSSItem *item)
    {
        QSignalSpy called(m_server.get(), &FakeNotificationServer::notifyCalled);
        m_bridge->postNewRSSItem(item);
        if (!called.wait(5000)) {
            return 0;
        }
        return m_server->calls.constLast().id;
    }

    // A round trip to the server: a notification it closes at once. Its close comes after every
    // signal the server sent before, so those have been handled when it has.
    bool syncWithServer()
    {
        const QStringList before = m_bridge->outstandingClickContexts();
        const uint id = postAndWait(addEntry(addFeed(QStringLiteral("Sync")), QStringLiteral("sync"),
                                             QStringLiteral("http://example.org/sync")));
        QStringList added;
        const bool replied = QTest::qWaitFor([&] {
            added = m_bridge->outstandingClickContexts();
            added.removeIf([&before](const QString &context) { return before.contains(context); });
            return !added.isEmpty();
        });
        if (id == 0 || !replied) {
            return false;
        }
        m_server->close(id);
        return QTest::qWaitFor([&] { return !m_bridge->outstandingClickContexts().contains(added.first()); });
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<PreferencesHome>();
        m_opener = std::make_unique<RecordingOpener>();
        m_server = std::make_unique<FakeNotificationServer>();
        m_context = std::make_unique<ObjectContext>();
        QVERIFY(m_context->open(m_home->path() + QStringLiteral("/store.sql"), dataModel()));
        m_host = std::make_unique<TestHost>(m_context.get());
        m_idle = FakeIdleTimeProvider::install();
    }

    void cleanup()
    {
        m_bridge.reset();
        m_service.reset();
        m_host.reset();
        m_context.reset();
        m_server.reset();
        m_opener.reset();
        m_home.reset();
        IdleTimeRegistry::shared()->clear();
    }

    // One check of feeds that all bring new entries, through the controller as the program runs
    // it: what is announced one by one, what is summed up, and that every entry is stored.
    void burstsAreSummedUp_data()
    {
        QTest::addColumn<int>("feeds");
        QTest::addColumn<int>("entries"); // per feed
        QTest::addColumn<bool>("notify");
        QTest::addColumn<QVariant>("perFeed"); // invalid: the default
        QTest::addColumn<QStringList>("titles");

        QTest::newRow("500 in one feed: the newest 5 and one more")
            << 1 << 500 << true << QVariant()
            << QStringList{"F0 499", "F0 498", "F0 497", "F0 496", "F0 495", "495 more new entries in Feed 0"};
        // The feeds' documents arrive in any order: "*" is any entry.
        QTest::newRow("30 feeds of 2: 20 and one more")
            << 30 << 2 << true << QVariant() << (QStringList(20, "*") << "40 more new entries in 20 feeds");
        QTest::newRow("6 in one feed: one more new entry")
            << 1 << 6 << true << QVariant()
            << QStringList{"F0 5", "F0 4", "F0 3", "F0 2", "F0 1", "1 more new entry in Feed 0"};
        QTest::newRow("no limit per feed") << 1 << 3 << true << QVariant(0) << QStringList{"F0 2", "F0 1", "F0 0"};
        QTest::newRow("notifications off: nothing") << 1 << 500 << false << QVariant() << QStringList();
    }
    void burstsAreSummedUp()
    {
        QFETCH(int, feeds);
        QFETCH(int, entries);
        QFETCH(bool, notify);
        QFETCH(QVariant, perFeed);
        QFETCH(QStringList, titles);
        QVERIFY(m_server->start());
        if (perFeed.isValid()) {
            setPreference(Preferences::maximumNotificationsPerFeed, perFeed);
        }
        setPreference(Preferences::growlClickAction, true);
        HttpTestServer http;
        FakeAlerts alerts;
        createBridge();
        RSSBrevlinController controller(m_context.get(), &alerts);
        controller.setNotificationService(m_service.get());
        QList<RSSFeed *> added;
        for (int i = 0; i < feeds; ++i) {
            const QString path = QStringLiteral("/feed%1.xml").arg(i);
            http.setResponse(path.toUtf8(),
                             HttpTestResponse::ok(channelWithEntries(QStringLiteral("F%1").arg(i), entries,
                                                                     QStringLiteral("https://example.org/%1").arg(i))));
            RSSFeed *feed = addFeed(QStringLiteral("Feed %1").arg(i));
            feed->setNotifies(notify);
            feed->setLastFetchDate(QDateTime(QDate(2024, 1, 1), QTime(0, 0), QTimeZone::utc()));
            feed->setUrl(http.url(path).toString());
            added.append(feed);
        }
        // The start-up check takes in the downloads the new addresses started.
        QSignalSpy checked(&controller, &RSSBrevlinController::feedsChecked);
        controller.awakeFromNib();
        QCOMPARE(checked.size(), 1);
        FeedCheckRound round(added);
        QSignalSpy finished(&round, &FeedCheckRound::finished);
        round.start();
        QVERIFY(finished.size() == 1 || finished.wait(20000));
        QTRY_VERIFY(!m_service->hasPostsInFlight());
        QVERIFY(syncWithServer());
        m_server->calls.removeLast();
        QStringList posted;
        for (const FakeNotificationServer::Call &call : std::as_const(m_server->calls)) {
            posted.append(titles.value(posted.size()) == QLatin1String("*") ? QStringLiteral("*") : call.summary);
        }
        QCOMPARE(posted, titles);
        for (RSSFeed *feed : std::as_const(added)) {
            QCOMPARE(feed->feedEntries().size(), entries);
        }
        if (feeds == 1 && !titles.isEmpty() && titles.last().contains(QLatin1String("more"))) {
            // The summary opens the feed, as choosing it in the menu does.
            m_server->invokeAction(m_server->calls.last().id);
            QTRY_COMPARE(m_opener->opened.size(), 1);
            QCOMPARE(m_opener->opened.first(), QUrl(QStringLiteral("https://example.org/0")));
        }
    }

    // Two items newer than the last fetch give two notifications, each with the entry's title
    // and text; the bridge learns of them as the controller will, through "newRssItem".
    void newItemsOfAFeedDocumentAreAnnounced()
    {
        QVERIFY(m_server->start());
        createBridge();
        connect(FeedEvents::of(m_context.get()), &FeedEvents::newRssItem, m_bridge.get(),
                &BrevlinObject::postNewRSSItem);
        HttpTestServer http;
        http.setResponse("/feed.xml", HttpTestResponse::ok(readTestData(QStringLiteral("fetch/two-entries.xml"))));

        RSSFeed *feed = addFeed(QStringLiteral("Fetch test"));
        feed->setLastFetchDate(QDateTime(QDate(2024, 2, 1), QTime(0, 0), QTimeZone::utc()));
        QSignalSpy ended(feed, &RSSFeed::checkEnded);
        feed->setUrl(http.url(QStringLiteral("/feed.xml")).toString());
        QVERIFY(ended.wait(10000));
        QTRY_COMPARE(m_server->calls.size(), 2);

        QMap<QString, QString> bodies;
        for (const FakeNotificationServer::Call &call : std::as_const(m_server->calls)) {
            bodies.insert(call.summary, call.body);
            QCOMPARE(call.applicationName, QStringLiteral("RSS Brevlin"));
            QCOMPARE(call.icon, QStringLiteral("rss-brevlin"));
            QCOMPARE(call.timeout, -1);
            QCOMPARE(call.actions, QStringList({QStringLiteral("default"), QStringLiteral("Open")}));
            QCOMPARE(call.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("rss-brevlin"));
            QCOMPARE(call.hints.value(QStringLiteral("urgency")).toInt(), 1);
            QCOMPARE(call.hints.value(QStringLiteral("x-rss-brevlin-notification-name")).toString(),
                     BrevlinObject::newRssEntryName);
        }
        QCOMPARE(bodies,
                 (QMap<QString, QString>{
                     {QStringLiteral("First entry"), QStringLiteral("The first entry of the test feed.")},
                     {QStringLiteral("Second entry"), QStringLiteral("The second entry of the test feed.")},
                 }));

        setPreference(Preferences::growlClickAction, true);
        m_server->invokeAction(m_server->calls.first().id);
        QTRY_COMPARE(m_opener->opened.size(), 1);
        const QString expected = m_server->calls.first().summary == QStringLiteral("First entry")
            ? QStringLiteral("http://example.org/entries/1")
            : QStringLiteral("http://example.org/entries/2");
        QCOMPARE(m_opener->opened.first(), QUrl(expected));
    }

    void click_data()
    {
        QTest::addColumn<bool>("clickAction");
        QTest::addColumn<int>("opened");
        QTest::newRow("click action on opens the entry") << true << 1;
        QTest::newRow("click action off only forgets it") << false << 0;
    }

    void click()
    {
        QFETCH(bool, clickAction);
        QFETCH(int, opened);
        setPreference(Preferences::growlClickAction, clickAction);
        QVERIFY(m_server->start());
        createBridge();
        RSSFeed *feed = addFeed(QStringLiteral("Feed"));
        const uint id = postAndWait(addEntry(feed, QStringLiteral("One"), QStringLiteral("http://example.org/1")));
        QVERIFY(id);
        QTRY_COMPARE(m_bridge->outstandingClickContexts().size(), 1);

        m_server->invokeAction(id);
        QTRY_COMPARE(m_bridge->outstandingClickContexts().size(), 0);
        QCOMPARE(m_opener->opened.size(), opened);
        // The server closes a clicked notification; that close is no time-out, and a second
        // report of the click finds nothing.
        m_server->close(id, FakeNotificationServer::dismissed);
        m_server->invokeAction(id);
        QVERIFY(syncWithServer());
        QCOMPARE(m_opener->opened.size(), opened);
    }

    void signalsAboutOtherNotificationsAreIgnored_data()
    {
        QTest::addColumn<QString>("event");
        QTest::newRow("another client's id clicked") << QStringLiteral("foreign click");
        QTest::newRow("another client's id closed") << QStringLiteral("foreign close");
        QTest::newRow("another action than the default") << QStringLiteral("other action");
        QTest::newRow("time-out, then a click") << QStringLiteral("timeout then click");
    }

    void signalsAboutOtherNotificationsAreIgnored()
    {
        QFETCH(QString, event);
        setPreference(Preferences::growlClickAction, true);
        QVERIFY(m_server->start());
        createBridge();
        RSSFeed *feed = addFeed(QStringLiteral("Feed"));
        const uint id = postAndWait(addEntry(feed, QStringLiteral("One"), QStringLiteral("http://example.org/1")));
        QVERIFY(id);
        int outstanding = 1;
        if (event == QLatin1String("foreign click")) {
            m_server->invokeAction(m_server->foreignId());
        } else if (event == QLatin1String("foreign close")) {
            m_server->close(m_server->foreignId());
        } else if (event == QLatin1String("other action")) {
            m_server->invokeAction(id, QStringLiteral("reply"));
        } else {
            m_server->close(id);
            m_server->invokeAction(id);
            outstanding = 0;
        }
        QVERIFY(syncWithServer());
        QCOMPARE(m_bridge->outstandingClickContexts().size(), outstanding);
        QCOMPARE(m_opener->opened, QList<QUrl>());
    }

    // A server may signal about a notification before the reply to our Notify arrives.
    void clickBeforeTheNotifyReplyIsMatchedWhenItArrives()
    {
        setPreference(Preferences::growlClickAction, true);
        QVERIFY(m_server->start());
        m_server->setHoldReplies(true);
        createBridge();
        RSSFeed *feed = addFeed(QStringLiteral("Feed"));
        const uint id = postAndWait(addEntry(feed, QStringLiteral("One"), QStringLiteral("http://example.org/1")));
        QVERIFY(id);
        m_server->invokeAction(m_server->foreignId());
        m_server->invokeAction(id);
        m_server->close(id, FakeNotificationServer::dismissed);
        m_server->releaseReplies();
        QTRY_COMPARE(m_opener->opened, QList<QUrl>({QUrl(QStringLiteral("http://example.org/1"))}));
        QTRY_COMPARE(m_bridge->outstandingClickContexts().size(), 0);
    }

    void registrationFollowsPreferenceAndRenames()
    {
        QVERIFY(m_server->start());
        RSSFeed *bravo = addFeed(QStringLiteral("Bravo"));
        addFeed(std::nullopt);
        addFeed(QString(""));
        addFeed(QStringLiteral("Alpha"));
        addFeed(QStringLiteral("Alpha"));
        createBridge();
        const QStringList separate{BrevlinObject::newRssEntryName};
        QCOMPARE(m_bridge->registeredNotificationNames(), separate);
        QCOMPARE(m_bridge->registrationDictionaryForGrowl(),
                 (QVariantMap{{QStringLiteral("AllNotifications"), separate},
                              {QStringLiteral("DefaultNotifications"), separate}}));

        setPreference(Preferences::growlListFeedsSeparately, true);
        m_bridge->reregister();
        QCOMPARE(m_bridge->registeredNotificationNames(),
                 QStringList({BrevlinObject::feedsWithNoNameName, QString(""), QStringLiteral("Alpha"),
                              QStringLiteral("Alpha"), QStringLiteral("Bravo")}));

        connect(FeedEvents::of(m_context.get()), &FeedEvents::feedNameChanged, m_bridge.get(),
                &BrevlinObject::reregister);
        bravo->setName(QStringLiteral("Zulu"));
        QCOMPARE(m_bridge->registeredNotificationNames().constLast(), QStringLiteral("Zulu"));
        postAndWait(addEntry(bravo, QStringLiteral("One"), QStringLiteral("http://example.org/1")));
        QCOMPARE(m_server->calls.constLast().hints.value(QStringLiteral("x-rss-brevlin-notification-name")).toString(),
                 QStringLiteral("Zulu"));
        postAndWait(addEntry(addFeed(std::nullopt), QStringLiteral("Two"), QStringLiteral("http://example.org/2")));
        QCOMPARE(m_server->calls.constLast().hints.value(QStringLiteral("x-rss-brevlin-notification-name")).toString(),
                 BrevlinObject::feedsWithNoNameName);
    }

    void stickyWhileAway_data()
    {
        QTest::addColumn<bool>("pin");
        QTest::addColumn<quint64>("idle");
        QTest::addColumn<int>("timeout");
        QTest::newRow("pinning off") << false << quint64(1000) << -1;
        QTest::newRow("idle for exactly the minutes") << true << quint64(300) << -1;
        QTest::newRow("idle for longer than the minutes") << true << quint64(301) << 0;
    }

    void stickyWhileAway()
    {
        QFETCH(bool, pin);
        QFETCH(quint64, idle);
        QFETCH(int, timeout);
        setPreference(Preferences::pinGrowlNotifications, pin);
        setPreference(Preferences::pinGrowlMinutes, 5);
        m_idle->setIdleUnits(idle);
        QVERIFY(m_server->start());
        createBridge();
        QVERIFY(postAndWait(
            addEntry(addFeed(QStringLiteral("F")), QStringLiteral("One"), QStringLiteral("http://x.org/"))));
        QCOMPARE(m_server->calls.constLast().timeout, timeout);
    }

    void bodyAndActionsFollowCapabilities_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("actions");
        const QStringList open{QStringLiteral("default"), QStringLiteral("Open")};
        QTest::newRow("plain body, actions")
            << QStringList{QStringLiteral("actions")} << QStringLiteral("Fish & <chips> > 2") << open;
        QTest::newRow("markup body, no actions") << QStringList{QStringLiteral("body"), QStringLiteral("body-markup")}
                                                 << QStringLiteral("Fish &amp; &lt;chips&gt; &gt; 2") << QStringList();
    }

    void bodyAndActionsFollowCapabilities()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(QString, body);
        QFETCH(QStringList, actions);
        m_server->setCapabilities(capabilities);
        QVERIFY(m_server->start());
        createBridge();
        RSSFeed *feed = addFeed(QStringLiteral("F"));
        QVERIFY(postAndWait(addEntry(feed, QStringLiteral("One"), QStringLiteral("http://x.org/"),
                                     QStringLiteral("Fish &amp; &lt;chips&gt; &gt; 2"))));
        QVERIFY(postAndWait(addEntry(feed, QStringLiteral("Two"), QStringLiteral("http://x.org/"),
                                     QStringLiteral("Fish &amp; &lt;chips&gt; &gt; 2"))));
        QCOMPARE(m_server->calls.constLast().body, body);
        QCOMPARE(m_server->calls.constLast().actions, actions);
        QCOMPARE(m_server->capabilityRequests, 1);
    }

    // Nothing is shown and nothing kept; the program carries on.
    void postsWithoutAServerKeepNothing_data()
    {
        QTest::addColumn<bool>("serverRuns");
        QTest::newRow("no server on the bus") << false;
        QTest::newRow("server refuses the post") << true;
    }

    void postsWithoutAServerKeepNothing()
    {
        QFETCH(bool, serverRuns);
        if (serverRuns) {
            QVERIFY(m_server->start());
            m_server->setRefuseNotify(true);
        }
        createBridge();
        QCOMPARE(m_service->isAvailable(), serverRuns);
        QSignalSpy dropped(m_service.get(), &NotificationService::notificationDropped);
        m_bridge->postNewRSSItem(
            addEntry(addFeed(QStringLiteral("F")), QStringLiteral("One"), QStringLiteral("http://x.org/")));
        QVERIFY(dropped.wait(5000));
        QCOMPARE(m_bridge->outstandingClickContexts().size(), 0);
        QCOMPARE(m_server->calls.size(), 0);
    }

    void aServerThatStartsLateIsUsed()
    {
        createBridge();
        QSignalSpy dropped(m_service.get(), &NotificationService::notificationDropped);
        m_bridge->postNewRSSItem(
            addEntry(addFeed(QStringLiteral("F")), QStringLiteral("One"), QStringLiteral("http://x.org/")));
        QVERIFY(dropped.wait(5000));

        QSignalSpy appeared(m_service.get(), &NotificationService::serviceAppeared);
        QVERIFY(m_server->start());
        QVERIFY(appeared.wait(5000));
        QVERIFY(m_service->isAvailable());
        QVERIFY(postAndWait(
            addEntry(addFeed(QStringLiteral("G")), QStringLiteral("Two"), QStringLiteral("http://x.org/"))));
        QCOMPARE(m_server->calls.constLast().summary, QStringLiteral("Two"));
    }

    // Its ids mean nothing to the next server: they are forgotten, and the next server is asked
    // for its capabilities again.
    void aServerThatGoesAwayTakesItsNotifications()
    {
        setPreference(Preferences::growlClickAction, true);
        QVERIFY(m_server->start());
        createBridge();
        const uint id = postAndWait(
            addEntry(addFeed(QStringLiteral("F")), QStringLiteral("One"), QStringLiteral("http://x.org/1")));
        QVERIFY(id);
        QSignalSpy vanished(m_service.get(), &NotificationService::serviceVanished);
        m_server->stop();
        QVERIFY(vanished.wait(5000));
        QCOMPARE(m_bridge->outstandingClickContexts().size(), 0);

        QSignalSpy appeared(m_service.get(), &NotificationService::serviceAppeared);
        QVERIFY(m_server->start());
        QVERIFY(appeared.wait(5000));
        m_server->invokeAction(id);
        QVERIFY(syncWithServer());
        QCOMPARE(m_opener->opened, QList<QUrl>());
        QCOMPARE(m_server->capabilityRequests, 2);
    }

    void aClickOnADeletedEntryOpensNothing_data()
    {
        QTest::addColumn<bool>("saved");
        QTest::newRow("feed deleted before the entry was saved") << false;
        QTest::newRow("feed deleted and saved") << true;
    }

    void aClickOnADeletedEntryOpensNothing()
    {
        QFETCH(bool, saved);
        setPreference(Preferences::growlClickAction, true);
        QVERIFY(m_server->start());
        createBridge();
        RSSFeed *feed = addFeed(QStringLiteral("F"));
        RSSItem *item = addEntry(feed, QStringLiteral("One"), QStringLiteral("http://x.org/1"));
        if (saved) {
            QVERIFY(m_context->save());
        }
        const uint id = postAndWait(item);
        QVERIFY(id);
        m_context->deleteObject(feed);
        if (saved) {
            QVERIFY(m_context->save());
        }
        QCOMPARE(m_bridge->outstandingClickContexts().size(), 0);
        m_server->invokeAction(id);
        QVERIFY(syncWithServer());
        QCOMPARE(m_opener->opened, QList<QUrl>());
    }

    // An entry pruned from its feed leaves memory at the next save; its notification goes with it.
    void aClickOnAReleasedEntryOpensNothing()
    {
        setPreference(Preferences::growlClickAction, true);
        QVERIFY(m_server->start());
        createBridge();
        RSSFeed *feed = addFeed(QStringLiteral("F"));
        RSSItem *item = addEntry(feed, QStringLiteral("One"), QStringLiteral("http://x.org/1"));
        const uint id = postAndWait(item);
        QVERIFY(id);
        feed->removeFeedEntry(item);
        QVERIFY(m_context->save());
        QCOMPARE(m_bridge->outstandingClickContexts().size(), 0);
        m_server->invokeAction(id);
        QVERIFY(syncWithServer());
        QCOMPARE(m_opener->opened, QList<QUrl>());
    }

    void clickContextsAreFreshUpperCaseUuids()
    {
        QVERIFY(m_server->start());
        createBridge();
        QStringList contexts;
        connect(m_service.get(), &NotificationService::actionInvoked, this,
                [&contexts](const QString &context) { contexts.append(context); });
        RSSItem *item = addEntry(addFeed(QStringLiteral("F")), QStringLiteral("One"), QStringLiteral("http://x.org/1"));
        // The same entry announced twice is held twice.
        const uint first = postAndWait(item);
        const uint second = postAndWait(item);
        QTRY_COMPARE(m_bridge->outstandingClickContexts().size(), 2);
        m_server->invokeAction(first);
        m_server->invokeAction(second);
        QTRY_COMPARE(contexts.size(), 2);
        const QRegularExpression uuid(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
        QVERIFY2(uuid.match(contexts[0]).hasMatch(), qPrintable(contexts[0]));
        QVERIFY(contexts[0] != contexts[1]);
    }

    // A click on a notification of the headless program used to open nothing: QDesktopServices
    // refuses without a GUI application object. Here a real notification server (Debian's
    // dunst, on a bus and a display of the test's own) shows the entry, dunstctl clicks it as
    // the user would, and an xdg-open stand-in on PATH records what it was given.
    void headlessClickOpensTheEntry()
    {
        if (!qEnvironmentVariableIsSet("BREVLIN_OWN_BUS_AND_DISPLAY")) {
            QSKIP("needs a session bus and a display of its own (the tst_notify_dunst test)");
        }
        if (QStandardPaths::findExecutable(QStringLiteral("dunst")).isEmpty()) {
            QSKIP("Debian's dunst is not installed (scripts/install-deps installs it)");
        }
        const QString bin = m_home->path() + QStringLiteral("/bin");
        const QString record = m_home->path() + QStringLiteral("/opened.txt");
        QVERIFY(QDir().mkpath(bin));
        QFile xdgOpen(bin + QStringLiteral("/xdg-open"));
        QVERIFY(xdgOpen.open(QIODevice::WriteOnly));
        xdgOpen.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + record.toUtf8() + "'\n");
        xdgOpen.close();
        QVERIFY(xdgOpen.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), bin + u':' + environment.value(QStringLiteral("PATH")));

        HttpTestServer http;
        const auto document = [](const QByteArray &items) {
            return "<rss version=\"2.0\"><channel><title>Clicks</title>" + items + "</channel></rss>";
        };
        const QByteArray old = "<item><title>Old</title><link>http://example.org/old</link>"
                               "<pubDate>Mon, 01 Jun 2026 10:00:00 GMT</pubDate></item>";
        http.setResponse("/feed.xml", HttpTestResponse::ok(document(old)));
        RUN_OK(added, {"--add", http.url(QStringLiteral("/feed.xml")).toString()}, 60'000, environment);
        RUN_OK(first, {"--check-once", "--quiet-notifications"}, 60'000, environment);
        RUN_OK(announce, {"--set", Preferences::showGrowlsOnLaunch, "true"}, 60'000, environment);
        RUN_OK(click, {"--set", Preferences::growlClickAction, "true"}, 60'000, environment);
        http.setResponse(
            "/feed.xml",
            HttpTestResponse::ok(document("<item><title>New</title><link>http://example.org/new?a=1&amp;b=2"
                                          "</link><pubDate>Tue, 02 Jun 2026 10:00:00 GMT</pubDate></item>"
                                          + old)));

        QProcess dunst;
        dunst.setProcessEnvironment(environment);
        dunst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        dunst.start(QStringLiteral("dunst"), {});
        QVERIFY(dunst.waitForStarted());
        const auto endDunst = qScopeGuard([&dunst] {
            dunst.terminate();
            dunst.waitForFinished();
        });
        QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
        QTRY_VERIFY_WITH_TIMEOUT(bus->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")).value(),
                                 10'000);

        QProcess program;
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(binaryPath(), {QStringLiteral("--headless")});
        QVERIFY(program.waitForStarted());
        const auto endProgram = qScopeGuard([&program] {
            ::kill(pid_t(program.processId()), SIGTERM);
            program.waitForFinished();
        });
        const auto dunstctl = [&environment](const QStringList &arguments) {
            QProcess control;
            control.setProcessEnvironment(environment);
            control.start(QStringLiteral("dunstctl"), arguments);
            control.waitForFinished();
            return QString::fromUtf8(control.readAllStandardOutput()).trimmed();
        };
        QTRY_COMPARE_WITH_TIMEOUT(dunstctl({QStringLiteral("count"), QStringLiteral("displayed")}), QStringLiteral("1"),
                                  30'000);
        dunstctl({QStringLiteral("action"), QStringLiteral("0")});
        QFile opened(record);
        QTRY_VERIFY_WITH_TIMEOUT(opened.exists() && opened.size() > 0, 10'000);
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(opened.readAll(), QByteArray("http://example.org/new?a=1&b=2\n"));
    }
};

QTEST_GUILESS_MAIN(tst_Notify)
#include "tst_notify.moc"
