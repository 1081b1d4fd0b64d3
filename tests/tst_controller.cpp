#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

#include <limits>
#include <memory>

#include "app/MenuPrinter.h"
#include "controller/FeedCheckRound.h"
#include "controller/MenuTitles.h"
#include "controller/RSSBrevlinController.h"
#include "controller/SavePolicy.h"
#include "model/FeedEvents.h"
#include "model/FeedPasswords.h"
#include "model/MenuItem.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/parsing/XmlDocument.h"
#include "platform/DeferredCalls.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "store/ObjectContext.h"
#include "tests/fakes/FakeAlerts.h"
#include "tests/fakes/FakeStatusItem.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/StoreFixture.h"

using namespace TestSupport;

namespace {

enum class SaveCause { FeedChecked, PasswordMoved, Edits };

const QDateTime firstDate(QDate(2024, 3, 1), QTime(8, 0), QTimeZone::utc());
const QStringList fixedItems{QStringLiteral("---"), QStringLiteral("Manage Subscriptions..."),
                             QStringLiteral("Preferences..."), QStringLiteral("About"), QStringLiteral("Quit")};

QStringList lines(const std::shared_ptr<Menu> &menu)
{
    return MenuPrinter::print(*menu).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList lines(Menu &menu)
{
    return MenuPrinter::print(menu).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

// The controller without widgets: start-up, the check timer, the status menu and its rebuilds.
class tst_Controller : public QObject
{
    Q_OBJECT

private:
    StoreFixture m_store;
    std::unique_ptr<FakeAlerts> m_alerts;
    std::unique_ptr<RSSBrevlinController> m_controller;
    std::unique_ptr<FakeStatusItem> m_statusItem;

    // A connected feed named name whose entries are dated at the given hours after the first date.
    RSSFeed *addFeed(const QString &name, const QList<int> &hours, bool recent = true)
    {
        RSSFeed *feed = RSSFeed::insert(m_store.context.get());
        feed->setName(name);
        feed->setShowInRecentList(recent);
        feed->setErrorMessage(QStringLiteral(""));
        for (int hour : hours) {
            RSSItem *entry = RSSItem::insert(m_store.context.get());
            entry->setGuid(QStringLiteral("%1-%2").arg(name).arg(hour));
            entry->setTitle(QStringLiteral("%1 %2").arg(name).arg(hour));
            entry->setUrl(QStringLiteral("https://example.org/%1/%2").arg(name).arg(hour));
            entry->setDate(firstDate.addSecs(3600 * hour));
            feed->addFeedEntry(entry);
        }
        return feed;
    }
    // A feed whose last document's channel held these children.
    RSSFeed *addFeedSaying(const QString &name, const QString &channel)
    {
        RSSFeed *feed = addFeed(name, {});
        const std::unique_ptr<XmlDocument> document =
            XmlDocument::fromData(QStringLiteral("<rss><channel>%1</channel></rss>").arg(channel).toUtf8());
        feed->parseDocument(document.get());
        return feed;
    }
    // The controller on a clock the test moves; which feeds each tick asked to check.
    QStringList tick(QDateTime &now, qint64 seconds)
    {
        now = now.addSecs(seconds);
        QSignalSpy checked(m_controller.get(), &RSSBrevlinController::feedsChecked);
        m_controller->checkDueFeeds();
        QStringList names;
        for (const RSSFeed *feed :
             checked.isEmpty() ? QList<RSSFeed *>() : checked.first().first().value<QList<RSSFeed *>>()) {
            names.append(feed->displayName());
        }
        return names;
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY2(m_store.setUp(StoreFixture::Store::File), qPrintable(m_store.context->errorString()));
        m_store.context->setChecksFeeds(false);
        QVERIFY(RSSFeed::fetchFeeds(m_store.context.get()));
        m_alerts = std::make_unique<FakeAlerts>();
        m_controller = std::make_unique<RSSBrevlinController>(m_store.context.get(), m_alerts.get());
        m_statusItem = std::make_unique<FakeStatusItem>();
    }
    void cleanup()
    {
        m_controller.reset();
        m_statusItem.reset();
        m_store.tearDown();
    }

    void menuWithoutFeeds()
    {
        QCOMPARE(lines(m_controller->feedsMenu()), QStringList{QStringLiteral("---")} + fixedItems);
    }

    void topEntries_data()
    {
        QTest::addColumn<QVariant>("topCount");
        QTest::addColumn<bool>("hide");
        QTest::addColumn<QStringList>("expected");

        // Feed A has entries at hours 1, 4, 6; feed B at 0, 2, 3, 5, 7, 8, 9.
        QTest::newRow("count 4: the four newest of both feeds' four newest, newest first")
            << QVariant(4) << true << QStringList{"B 9",   "B 8", "B 7",   "A 6",   "---",   "A",    "  A 4",
                                                  "  A 1", "B",   "  B 5", "  B 3", "  B 2", "  B 0"};
        QTest::newRow("count 4, top entries kept in the histories")
            << QVariant(4) << false
            << QStringList{"B 9", "B 8",   "B 7",   "A 6",   "---",   "A",     "  A 6", "  A 4", "  A 1",
                           "B",   "  B 9", "  B 8", "  B 7", "  B 5", "  B 3", "  B 2", "  B 0"};
        QTest::newRow("count 0: no top entry, nothing hidden")
            << QVariant(0) << true << QStringList{"---",   "A",     "  A 6", "  A 4", "  A 1", "B",    "  B 9",
                                                  "  B 8", "  B 7", "  B 5", "  B 3", "  B 2", "  B 0"};
        QTest::newRow("count -1: every entry heads the menu")
            << QVariant(-1) << true
            << QStringList{"B 9", "B 8", "B 7", "A 6", "B 5", "A 4", "B 3", "B 2", "A 1", "B 0", "---", "A", "B"};
    }

    void topEntries()
    {
        QFETCH(QVariant, topCount);
        QFETCH(bool, hide);
        QFETCH(QStringList, expected);
        addFeed(QStringLiteral("B"), {0, 2, 3, 5, 7, 8, 9});
        addFeed(QStringLiteral("A"), {1, 4, 6});
        setPreference(Preferences::showTopEntriesCount, topCount);
        setPreference(Preferences::hideTopEntriesFromHistory, hide);
        QCOMPARE(lines(m_controller->feedsMenu()), expected + fixedItems);
    }

    void feedOutsideTheRecentListStillHasItsItem()
    {
        addFeed(QStringLiteral("Quiet"), {5, 6}, false);
        addFeed(QStringLiteral("Loud"), {1});
        QCOMPARE(lines(m_controller->feedsMenu()),
                 (QStringList{"Loud 1", "---", "Loud", "Quiet", "  Quiet 6", "  Quiet 5"} + fixedItems));
    }

    void failingFeedHasAHyphen()
    {
        RSSFeed *feed = addFeed(QStringLiteral("Flaky"), {}, true);
        feed->setErrorMessage(QStringLiteral("Failed 404 Not Found http://x/"));
        RSSFeed *unnamed = RSSFeed::insert(m_store.context.get());
        unnamed->setUrl(QStringLiteral("http://example.org/feed"));
        QCOMPARE(lines(m_controller->feedsMenu()),
                 (QStringList{"---", "-http://example.org/feed", "-Flaky"} + fixedItems));
    }

    void titlesAsTheyRead_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("asRead");
        QTest::addColumn<QString>("forAction");

        QTest::newRow("ampersand is doubled for Qt only") << "Q&A"
                                                          << "Q&A"
                                                          << "Q&&A";
        QTest::newRow("tabs and line breaks become spaces") << "a\tb\r\nc"
                                                            << "a b  c"
                                                            << "a b  c";
        QTest::newRow("bidirectional controls become spaces, as in the command output")
            << QStringLiteral("evil\u202Egnp.exe\u2066x\u2069") << QStringLiteral("evil gnp.exe x")
            << QStringLiteral("evil gnp.exe x");
        QTest::newRow("escapes and zero-width joiners") << QStringLiteral("\x1b[2Jok \U0001F468\u200D\U0001F469")
                                                        << QStringLiteral(" [2Jok \U0001F468\u200D\U0001F469")
                                                        << QStringLiteral(" [2Jok \U0001F468\u200D\U0001F469");
        QTest::newRow("trailing breaks are dropped") << "title\n\t\r\n"
                                                     << "title"
                                                     << "title";
        QTest::newRow("long titles are cut in the view only")
            << QString(100, QLatin1Char('x')) << QString(100, QLatin1Char('x'))
            << QString(79, QLatin1Char('x')) + QChar(0x2026);
        QTest::newRow("a cut never splits a surrogate pair")
            << QString(78, QLatin1Char('x')) + QStringLiteral("\U0001F600\U0001F600") << QString()
            << QString(78, QLatin1Char('x')) + QChar(0x2026);
    }

    void titlesAsTheyRead()
    {
        QFETCH(QString, title);
        QFETCH(QString, asRead);
        QFETCH(QString, forAction);
        if (!asRead.isEmpty()) {
            QCOMPARE(MenuTitles::asRead(title), asRead);
        }
        QCOMPARE(MenuTitles::forAction(title), forAction);
    }

    void fixedItemsReachTheWindowsAndQuit()
    {
        RecordingWindowPresenter windows;
        m_controller->setWindowPresenter(&windows);
        QSignalSpy quit(m_controller.get(), &RSSBrevlinController::quitRequested);
        std::unique_ptr<Menu> menu = m_controller->feedsMenu();
        for (MenuItem &item : menu->items) {
            if (item.perform) {
                item.perform();
            }
        }
        using Window = WindowPresenter::Window;
        QCOMPARE(windows.shown, (QList<Window>{Window::ManageSubscriptions, Window::Preferences, Window::About}));
        QCOMPARE(quit.count(), 1);
    }

    void timerInterval_data()
    {
        QTest::addColumn<QVariant>("checkInterval");
        QTest::addColumn<int>("milliseconds");

        QTest::newRow("default 300 s") << QVariant() << 300000;
        QTest::newRow("10 s is raised to 30 s") << QVariant(10) << 30000;
        QTest::newRow("0 is raised to 30 s") << QVariant(0) << 30000;
        QTest::newRow("negative is raised to 30 s") << QVariant(-5) << 30000;
        QTest::newRow("45.5 s stays") << QVariant(45.5) << 45500;
        QTest::newRow("text reads as the default") << QVariant(QStringLiteral("often")) << 300000;
        // Each of these once overflowed the timer's int of milliseconds: a storm of checks
        // or none at all after start-up.
        QTest::newRow("4294967.326 s is cut to a week") << QVariant(4294967.326) << 604800000;
        QTest::newRow("2147483.7 s is cut to a week") << QVariant(2147483.7) << 604800000;
        QTest::newRow("1e12 s is cut to a week") << QVariant(1e12) << 604800000;
        QTest::newRow("a week stays") << QVariant(604800.0) << 604800000;
        QTest::newRow("infinity is cut to a week") << QVariant(QStringLiteral("inf")) << 604800000;
        QTest::newRow("minus infinity is raised to 30 s") << QVariant(QStringLiteral("-inf")) << 30000;
        QTest::newRow("NaN reads as the default") << QVariant(QStringLiteral("nan")) << 300000;
    }

    void timerInterval()
    {
        QFETCH(QVariant, checkInterval);
        QFETCH(int, milliseconds);
        if (checkInterval.isValid()) {
            setPreference(Preferences::checkInterval, checkInterval);
        }
        m_controller->setStatusItem(m_statusItem.get());
        m_controller->awakeFromNib();
        QVERIFY(m_controller->checkFeedsTimer()->isActive());
        QCOMPARE(m_controller->checkFeedsTimer()->interval(), milliseconds);
    }

    void checkIntervalForAnyNumber_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<qint64>("milliseconds");

        QTest::newRow("NaN: the default") << qQNaN() << qint64(300000);
        QTest::newRow("infinity: a week") << qInf() << qint64(604800000);
        QTest::newRow("minus infinity: 30 s") << -qInf() << qint64(30000);
        QTest::newRow("largest double: a week") << std::numeric_limits<double>::max() << qint64(604800000);
    }

    void checkIntervalForAnyNumber()
    {
        QFETCH(double, seconds);
        QFETCH(qint64, milliseconds);
        QCOMPARE(qint64(RSSBrevlinController::checkIntervalFor(seconds).count()), milliseconds);
    }

    void intervalInForce_data()
    {
        QTest::addColumn<qint64>("own");    // -1: auto
        QTest::addColumn<qint64>("hinted"); // -1: none
        QTest::addColumn<qint64>("global");
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<int>("source");

        const int global = int(CheckInterval::Source::Global);
        const int hints = int(CheckInterval::Source::Hints);
        const int own = int(CheckInterval::Source::Own);
        QTest::newRow("auto without hints: the global") << -1LL << -1LL << 300LL << 300LL << global;
        QTest::newRow("auto, a longer hint") << -1LL << 3600LL << 300LL << 3600LL << hints;
        QTest::newRow("auto, a shorter hint never shortens") << -1LL << 60LL << 300LL << 300LL << global;
        QTest::newRow("auto, a global beyond the hints' day") << -1LL << 86400LL << 604800LL << 604800LL << global;
        QTest::newRow("own, over the hints") << 120LL << 3600LL << 300LL << 120LL << own;
        QTest::newRow("own below 30 s, raised") << 5LL << -1LL << 300LL << 30LL << own;
        QTest::newRow("own beyond a week, cut") << 10000000LL << -1LL << 300LL << 604800LL << own;
    }
    void intervalInForce()
    {
        QFETCH(qint64, own);
        QFETCH(qint64, hinted);
        QFETCH(qint64, global);
        QFETCH(qint64, expected);
        QFETCH(int, source);
        const auto optional = [](qint64 value) { return value < 0 ? std::nullopt : std::optional<qint64>(value); };
        const CheckInterval interval =
            CheckInterval::inForce(optional(own), optional(hinted), std::chrono::seconds(global));
        QCOMPARE(interval.length, std::chrono::milliseconds(std::chrono::seconds(expected)));
        QCOMPARE(int(interval.source), source);
    }

    // A feed with a <ttl> of 60 minutes beside one at the global 300 s, over two hours of ticks;
    // a feed with its own 60 s makes the timer tick every minute; "Check All Now" asks every feed.
    void eachFeedIsCheckedAtItsInterval()
    {
        QDateTime now(QDate(2024, 3, 1), QTime(8, 0), QTimeZone::utc());
        m_controller->setClock([&now] { return now; });
        addFeedSaying(QStringLiteral("Hourly"), QStringLiteral("<ttl>60</ttl>"));
        addFeed(QStringLiteral("Plain"), {});
        m_controller->awakeFromNib();
        QCOMPARE(m_controller->checkFeedsTimer()->interval(), 300000);
        int hourly = 0;
        int plain = 0;
        for (int minutes = 5; minutes <= 120; minutes += 5) {
            const QStringList checked = tick(now, 300);
            hourly += checked.count(QStringLiteral("Hourly"));
            plain += checked.count(QStringLiteral("Plain"));
            QCOMPARE(checked.contains(QStringLiteral("Hourly")), minutes % 60 == 0);
        }
        QCOMPARE(hourly, 2);
        QCOMPARE(plain, 24);

        RSSFeed *often = addFeed(QStringLiteral("Often"), {});
        often->setInterval(60);
        QCOMPARE(m_controller->checkFeedsTimer()->interval(), 60000);
        QCOMPARE(tick(now, 60), QStringList{"Often"});
        QCOMPARE(tick(now, 60), QStringList{"Often"});
        QSignalSpy checked(m_controller.get(), &RSSBrevlinController::feedsChecked);
        m_controller->checkFeeds();
        QCOMPARE(checked.first().first().value<QList<RSSFeed *>>().size(), 3);
    }

    // Skip hours are in UTC, whatever zone the clock reads in; a feed's own interval is the user's
    // word over them.
    void skipHoursAtAUtcBoundary_data()
    {
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<bool>("due");

        const QDate day(2024, 3, 1); // a Friday
        QTest::newRow("22:59:59 UTC, before") << QDateTime(day, QTime(22, 59, 59), QTimeZone::utc()) << true;
        QTest::newRow("23:00 UTC, skipped") << QDateTime(day, QTime(23, 0), QTimeZone::utc()) << false;
        QTest::newRow("23:59:59 UTC, skipped") << QDateTime(day, QTime(23, 59, 59), QTimeZone::utc()) << false;
        QTest::newRow("midnight UTC, after") << QDateTime(day.addDays(1), QTime(0, 0), QTimeZone::utc()) << true;
        QTest::newRow("01:30 at UTC+2 is 23:30 UTC, skipped")
            << QDateTime(day.addDays(1), QTime(1, 30), QTimeZone(7200)) << false;
        QTest::newRow("a skipped day, Sunday") << QDateTime(day.addDays(2), QTime(12, 0), QTimeZone::utc()) << false;
    }
    void skipHoursAtAUtcBoundary()
    {
        QFETCH(QDateTime, moment);
        QFETCH(bool, due);
        RSSFeed *feed = addFeedSaying(
            QStringLiteral("Quiet"),
            QStringLiteral("<skipHours><hour>23</hour></skipHours><skipDays><day>Sunday</day></skipDays>"));
        feed->setCheckRequested(moment.addDays(-1));
        QCOMPARE(feed->isDue(moment, std::chrono::minutes(5)), due);
        feed->setInterval(300);
        QVERIFY(feed->isDue(moment, std::chrono::minutes(5)));
    }

    void anyPreferenceChangeRestartsTheTimerAndRebuilds()
    {
        setPreference(Preferences::checkInterval, 30);
        m_controller->setStatusItem(m_statusItem.get());
        m_controller->awakeFromNib();
        QTest::qWait(1100);
        QVERIFY(m_controller->checkFeedsTimer()->remainingTime() <= 29000);
        const qsizetype menus = m_statusItem->menus.size();
        setPreference(Preferences::growlClickAction, true);
        QVERIFY(m_controller->checkFeedsTimer()->remainingTime() > 29000);
        QCOMPARE(m_statusItem->menus.size(), menus + 1);
    }

    void deletionRebuildsAtOnceInsertionDoesNot()
    {
        RSSFeed *feed = addFeed(QStringLiteral("Gone"), {1, 2});
        m_controller->setStatusItem(m_statusItem.get());
        m_controller->awakeFromNib();
        const qsizetype menus = m_statusItem->menus.size();
        addFeed(QStringLiteral("New"), {3});
        QCOMPARE(m_statusItem->menus.size(), menus);
        m_store.context->deleteObject(feed);
        QCOMPARE(m_statusItem->menus.size(), menus + 1);
        QCOMPARE(lines(m_statusItem->menus.last()), (QStringList{"New 3", "---", "New"} + fixedItems));
    }

    void rebuildRequestsOfOneTurnAreMerged()
    {
        m_controller->setStatusItem(m_statusItem.get());
        m_controller->awakeFromNib();
        const qsizetype menus = m_statusItem->menus.size();
        for (int i = 0; i < 5; ++i) {
            Q_EMIT FeedEvents::of(m_store.context.get())->updateMenus();
        }
        QCOMPARE(m_statusItem->menus.size(), menus);
        QTRY_COMPARE(m_statusItem->menus.size(), menus + 1);
    }

    // A check asks for a rebuild after every document: a burst of requests gets a few rebuilds,
    // the last of which shows the store as the burst left it.
    void rebuildRequestsOfABurstAreSpaced()
    {
        m_controller->setStatusItem(m_statusItem.get());
        m_controller->awakeFromNib();
        const qsizetype menus = m_statusItem->menus.size();
        QElapsedTimer burst;
        burst.start();
        for (int feed = 0; burst.elapsed() < 1000; ++feed) {
            addFeed(QStringLiteral("F%1").arg(feed, 4, 10, QLatin1Char('0')), {feed});
            Q_EMIT FeedEvents::of(m_store.context.get())->updateMenus();
            QTest::qWait(5);
        }
        const qint64 spacing = RSSBrevlinController::RebuildSpacing.count();
        const qint64 allowed = burst.elapsed() / spacing + 2;
        QTest::qWait(int(2 * spacing));
        const qsizetype rebuilds = m_statusItem->menus.size() - menus;
        QVERIFY2(rebuilds >= 2 && rebuilds <= allowed, qPrintable(QString::number(rebuilds)));
        QCOMPARE(lines(m_statusItem->menus.last()), lines(m_controller->feedsMenu()));
    }

    void openMenuDefersRebuildsAndParses()
    {
        m_controller->setStatusItem(m_statusItem.get());
        m_controller->awakeFromNib();
        const qsizetype menus = m_statusItem->menus.size();
        m_statusItem->openMenu();
        bool parsed = false;
        QObject context;
        DeferredCalls::post(&context, [&parsed] { parsed = true; });
        m_controller->updateMenus();
        Q_EMIT FeedEvents::of(m_store.context.get())->updateMenus();
        QTest::qWait(50);
        QCOMPARE(m_statusItem->menus.size(), menus);
        QVERIFY(!parsed);
        m_statusItem->closeMenu();
        QCOMPARE(m_statusItem->menus.size(), menus + 1);
        QTRY_VERIFY(parsed);
    }

    void lazyHistoryFollowsTheFeedAsItIsWhenOpened()
    {
        RSSFeed *feed = addFeed(QStringLiteral("F"), {1, 2, 3});
        setPreference(Preferences::showTopEntriesCount, 0);
        std::unique_ptr<Menu> menu = m_controller->feedsMenu();
        MenuItem &feedItem = menu->items.at(1);
        QVERIFY(feedItem.hasSubmenu());
        QVERIFY(!feedItem.submenu);
        // Pruned and saved away before the submenu first opens.
        setPreference(Preferences::maximumEntryHistoryCount, 1);
        feed->cleanupOldItems();
        QVERIFY(m_store.context->save());
        QCOMPARE(lines(*feedItem.ensureSubmenu()), QStringList{"F 3"});
    }

    void storeThatCannotBeReadIsReportedOnce()
    {
        // The feeds' table vanishes under an open store that has not loaded them yet.
        m_store.context = std::make_unique<ObjectContext>();
        QVERIFY(m_store.context->open(m_store.storePath(), dataModel()));
        QVERIFY(
            runSql(m_store.storePath(),
                   {QStringLiteral("DROP TABLE IF EXISTS SubLink"), QStringLiteral("DROP TABLE IF EXISTS RSSItemText"),
                    QStringLiteral("DROP TABLE IF EXISTS RSSItem"), QStringLiteral("DROP TABLE IF EXISTS RSSFeed")}));
        m_controller = std::make_unique<RSSBrevlinController>(m_store.context.get(), m_alerts.get());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".")));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(lines(m_controller->feedsMenu()), QStringList{QStringLiteral("---")} + fixedItems);
        }
        QCOMPARE(m_alerts->presentedErrors.size(), 1);
    }

    void startUpSweepKeepsReferencedArchivesAndTheStore()
    {
        RSSFeed *feed = addFeed(QStringLiteral("F"), {1});
        QVERIFY(QDir().mkpath(m_store.cachesFolder() + QStringLiteral("/folder/inner")));
        const auto write = [](const QString &path) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
        };
        const QString kept = m_store.cachesFolder() + QStringLiteral("/KEPT.mhtml");
        QVERIFY(write(kept));
        QVERIFY(write(m_store.cachesFolder() + QStringLiteral("/STALE.mhtml")));
        // What an archiver killed mid-save leaves.
        QVERIFY(write(m_store.cachesFolder() + QStringLiteral("/STALE.mhtml.part")));
        // Made world-readable by an earlier version; its pages may come from behind a feed's login.
        const QFileDevice::Permissions everyoneReads =
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        QVERIFY(QFile::setPermissions(kept, everyoneReads));
        QVERIFY(QFile::setPermissions(m_store.cachesFolder(),
                                      everyoneReads | QFileDevice::ExeOwner | QFileDevice::ExeGroup
                                          | QFileDevice::ExeOther));
        QVERIFY(write(m_store.cachesFolder() + QStringLiteral("/folder/inner/file")));
        const QString target = m_store.home->path() + QStringLiteral("/target");
        QVERIFY(write(target));
        QVERIFY(QFile::link(target, m_store.cachesFolder() + QStringLiteral("/link")));
        feed->feedEntries().first()->setCachedPath(kept);
        // The store in the same folder, as when both folders fall back to the temporary folder.
        const QString store = m_store.cachesFolder() + QStringLiteral("/Rss_Brevlin.sql");
        QVERIFY(write(store));
        QVERIFY(write(store + QStringLiteral("-journal")));
        // The lock file must outlive the sweep: removing it would let a second program lock a new one.
        QVERIFY(write(store + QStringLiteral(".lock")));

        m_controller->setCachesFolder(m_store.cachesFolder(), store);
        m_controller->awakeFromNib();
        QStringList left =
            QDir(m_store.cachesFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        left.sort();
        QCOMPARE(left,
                 (QStringList{"KEPT.mhtml", "Rss_Brevlin.sql", "Rss_Brevlin.sql-journal", "Rss_Brevlin.sql.lock"}));
        QVERIFY(QFile::exists(target));
        QCOMPARE(permissionsOf(kept), 0600);
        QCOMPARE(permissionsOf(m_store.cachesFolder()), 0700);
    }

    void startUpFetchesEachFeedOnce()
    {
        HttpTestServer server;
        QVERIFY(server.isListening());
        server.setResponse("/a.xml", HttpTestResponse::ok(readTestData(QStringLiteral("fetch/two-entries.xml"))));
        for (const char *path : {"/a.xml", "/b.xml"}) {
            RSSFeed *feed = RSSFeed::insert(m_store.context.get());
            feed->setUrl(server.url(QString::fromLatin1(path)).toString());
        }
        QVERIFY(m_store.context->save());
        // Loaded afresh, as at start-up: loading wakes each feed, which starts its check.
        m_store.context = std::make_unique<ObjectContext>();
        QVERIFY(m_store.context->open(m_store.storePath(), dataModel()));
        m_controller = std::make_unique<RSSBrevlinController>(m_store.context.get(), m_alerts.get());
        QSignalSpy checked(m_controller.get(), &RSSBrevlinController::feedsChecked);
        m_controller->awakeFromNib();
        QCOMPARE(checked.count(), 1);
        const QList<RSSFeed *> feeds = checked.first().first().value<QList<RSSFeed *>>();
        QCOMPARE(feeds.size(), 2);
        QTRY_VERIFY(!feeds.at(0)->isDownloading() && !feeds.at(1)->isDownloading());
        QCOMPARE(server.requests("/a.xml").size(), 1);
        QCOMPARE(server.requests("/b.xml").size(), 1);
        // The timer's check asks again.
        m_controller->checkFeeds();
        QTRY_COMPARE(server.requests("/a.xml").size(), 2);
    }

    void savePolicy_data()
    {
        QTest::addColumn<SaveCause>("cause");
        QTest::addColumn<int>("savesAtOnce");

        // A parsed document and a password that left the store file are saved at once.
        QTest::newRow("a feed's check ended") << SaveCause::FeedChecked << 1;
        QTest::newRow("a password moved to the keyring") << SaveCause::PasswordMoved << 1;
        // A burst of edits in the window is saved once, a moment after the last of them.
        QTest::newRow("three edits of the subscriptions") << SaveCause::Edits << 0;
    }

    void savePolicy()
    {
        QFETCH(SaveCause, cause);
        QFETCH(int, savesAtOnce);
        SavePolicy policy;
        QSignalSpy saves(&policy, &SavePolicy::saveDue);
        FeedCheckRound round({});
        policy.followRound(&round);
        QStringListModel subscriptions;
        policy.followEdits(&subscriptions);
        switch (cause) {
        case SaveCause::FeedChecked:
            Q_EMIT round.feedChecked(nullptr);
            break;
        case SaveCause::PasswordMoved:
            Q_EMIT FeedPasswords::instance()->storePasswordMoved();
            break;
        case SaveCause::Edits:
            subscriptions.setStringList({QStringLiteral("a")});
            subscriptions.insertRows(1, 1);
            subscriptions.setData(subscriptions.index(1), QStringLiteral("b"));
            break;
        }
        QCOMPARE(saves.size(), savesAtOnce);
        if (savesAtOnce == 0) {
            QVERIFY(saves.wait());
            QCoreApplication::processEvents();
            QCOMPARE(saves.size(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(tst_Controller)
#include "tst_controller.moc"
