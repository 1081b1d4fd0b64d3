#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>
#include <QTimeZone>
#include <QUndoStack>

#include "app/StoreJson.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/SubLink.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "store/DistantPast.h"
#include "store/ObjectContext.h"
#include "tests/support/FeedEventLog.h"
#include "tests/support/StoreFixture.h"

Q_DECLARE_METATYPE(SchemaMigration)

using namespace TestSupport;

// The object context over a real SQLite file: round trips, pruning, lookups, saving.
class tst_Store : public QObject
{
    Q_OBJECT

private:
    enum class TextHistory {
        Saved,
        SavedAgain,
        RedatedAsAFault,
        UndoneFeedRename,
        ReadThenFeedGone,
        FeedGoneBeforeSave,
        FailedSave
    };

    RSSItem *addItem(ObjectContext &context, RSSFeed *feed, const QString &guid, const QDateTime &date)
    {
        RSSItem *item = RSSItem::insert(&context);
        item->setGuid(guid);
        item->setDate(date);
        item->setTitle(QStringLiteral("Title of ") + guid);
        item->setText(QStringLiteral("Text of ") + guid);
        feed->addFeedEntry(item);
        return item;
    }
    // A trigger makes the next save fail inside the transaction, as a full disk would.
    void breakSaving(const QString &table)
    {
        QVERIFY(runSql(m_store.storePath(),
                       {QStringLiteral("CREATE TRIGGER broken BEFORE INSERT ON %1 "
                                       "BEGIN SELECT RAISE(ABORT, 'disk is full'); END")
                            .arg(table)}));
    }

    // The store a released version 1 wrote, copied into the temporary home.
    void copyVersionOneStore()
    {
        QVERIFY(QFile::copy(testDataPath(QStringLiteral("store/version-1.sql")), m_store.storePath()));
        QVERIFY(QFile::setPermissions(m_store.storePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }
    static SchemaMigration step(const QString &statement) { return SchemaMigration{{statement}}; }

    StoreFixture m_store;

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_store.setUp(StoreFixture::Store::InMemory));
        // Keep the stored last fetch date across reloads so the round trip can see it.
        setPreference(Preferences::showGrowlsOnLaunch, true);
    }
    void cleanup() { m_store.tearDown(); }

    void roundTripKeepsAbsentAndEmptyValues()
    {
        const QDateTime date(QDate(2024, 2, 29), QTime(23, 59, 58, 123), QTimeZone::utc());
        {
            auto context = m_store.openContext();
            QVERIFY(context);
            RSSFeed *feed = RSSFeed::insert(context.get());
            QCOMPARE(feed->lastFetchDate(), distantPast());
            feed->setName(QStringLiteral("Ünïcode feed"));
            feed->setPassword(QString(""));
            feed->setShowInRecentList(true);
            feed->setGenerator(QStringLiteral("Trac 1.0"));
            RSSItem *item = RSSItem::insert(context.get());
            item->setAuthor(QString(""));
            item->setDate(date);
            item->setTitle(QStringLiteral("A & B"));
            item->setGuid(QStringLiteral("guid-1"));
            item->setText(QStringLiteral("Line one"));
            item->setCachedPath(QString(""));
            auto subLink = std::make_unique<SubLink>(context.get());
            subLink->setLink(QStringLiteral("rdar://42"));
            subLink->setText(QString(""));
            item->addSubLinkEntry(std::move(subLink));
            auto webLink = std::make_unique<SubLink>(context.get());
            webLink->setLink(QStringLiteral("http://example.org/"));
            item->addSubLinkEntry(std::move(webLink));
            feed->addFeedEntry(item);
            RSSItem *bare = RSSItem::insert(context.get());
            feed->addFeedEntry(bare);
            QVERIFY(context->hasChanges());
            QVERIFY2(context->save(), qPrintable(context->errorString()));
            QVERIFY(!context->hasChanges());
        }
        auto context = m_store.openContext();
        QVERIFY(context);
        const auto feeds = RSSFeed::fetchFeeds(context.get());
        QVERIFY(feeds);
        QCOMPARE(feeds->size(), 1);
        RSSFeed *feed = feeds->first();
        QCOMPARE(feed->name(), QStringLiteral("Ünïcode feed"));
        QCOMPARE(feed->url(), std::nullopt);
        QCOMPARE(feed->login(), std::nullopt);
        QCOMPARE(feed->password(), QString(""));
        QVERIFY(feed->showInRecentList());
        QCOMPARE(feed->lastFetchDate(), distantPast());
        QVERIFY(feed->isTracFeed());
        QCOMPARE(feed->feedEntries().size(), 2);
        RSSItem *item = feed->feedEntries().first()->guid() ? feed->feedEntries().first() : feed->feedEntries().last();
        RSSItem *bare = item == feed->feedEntries().first() ? feed->feedEntries().last() : feed->feedEntries().first();
        QCOMPARE(item->feed(), feed);
        QCOMPARE(item->author(), QString(""));
        QCOMPARE(item->date(), date);
        QCOMPARE(item->title(), QStringLiteral("A & B"));
        QCOMPARE(item->url(), std::nullopt);
        QCOMPARE(item->text(), QStringLiteral("Line one"));
        QCOMPARE(item->subLinks().size(), size_t(2));
        QCOMPARE(item->subLinks()[0]->link(), QStringLiteral("rdar://42"));
        QCOMPARE(item->subLinks()[0]->text(), QString(""));
        QCOMPARE(item->subLinks()[1]->text(), std::nullopt);
        QCOMPARE(item->subLinks()[1]->owner(), item);
        QCOMPARE(bare->title(), std::nullopt);
        QCOMPARE(bare->date(), std::nullopt);
        QCOMPARE(bare->text(), std::nullopt);
        QCOMPARE(item->cachedPath(), QString(""));
        QCOMPARE(bare->cachedPath(), std::nullopt);
        // Taken away after a reload, a value leaves the file too.
        item->setCachedPath(std::nullopt);
        QVERIFY2(context->save(), qPrintable(context->errorString()));
        QCOMPARE(
            countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM RSSItem WHERE cachedPath IS NULL")), 2);
    }

    // Rows are numbered in the order the records were made, so a history of entries of one date
    // reads in the same order after a restart, and a feed's entries lie side by side in the file.
    void entriesKeepTheirOrderAcrossAReload()
    {
        const QDateTime date = QDateTime::currentDateTimeUtc();
        QStringList before;
        {
            auto context = m_store.openContext();
            RSSFeed *first = RSSFeed::insert(context.get());
            first->setName(QStringLiteral("First"));
            RSSFeed *second = RSSFeed::insert(context.get());
            second->setName(QStringLiteral("Second"));
            for (int index = 0; index < 30; ++index) {
                addItem(*context, first, QStringLiteral("first-%1").arg(index), date);
            }
            addItem(*context, second, QStringLiteral("second"), date);
            for (const RSSItem *item : RSSItem::newestFirst(first->feedEntries())) {
                before.append(*item->guid());
            }
            QVERIFY(context->save());
        }
        auto context = m_store.openContext();
        const auto feeds = RSSFeed::fetchFeeds(context.get());
        QStringList after;
        for (const RSSItem *item : RSSItem::newestFirst(feeds->first()->feedEntries())) {
            after.append(*item->guid());
        }
        QCOMPARE(after.size(), 30);
        QCOMPARE(after, before);
        QCOMPARE(countRows(m_store.storePath(),
                           QStringLiteral("SELECT max(id) - min(id) FROM RSSItem WHERE guid LIKE 'first-%'")),
                 29);
    }

    void feedsAreSortedByName()
    {
        auto context = m_store.openContext();
        QVERIFY(context);
        for (const char *name : {"beta", "Alpha", "alpha"}) {
            RSSFeed::insert(context.get())->setName(QString::fromLatin1(name));
        }
        RSSFeed::insert(context.get());
        QStringList names;
        const auto feeds = RSSFeed::fetchFeeds(context.get());
        for (RSSFeed *feed : *feeds) {
            names.append(feed->name().value_or(QStringLiteral("(none)")));
        }
        QCOMPARE(names, (QStringList{"(none)", "Alpha", "alpha", "beta"}));
    }

    void prunedEntriesStayKnownButLeaveMemory()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        {
            auto context = m_store.openContext();
            RSSFeed *feed = RSSFeed::insert(context.get());
            addItem(*context, feed, QStringLiteral("kept"), now);
            RSSItem *old = addItem(*context, feed, QStringLiteral("pruned"), now.addDays(-1));
            QVERIFY(context->save());
            feed->removeFeedEntry(old);
            QCOMPARE(old->feed(), nullptr);
            QVERIFY(context->hasChanges());
            QVERIFY(context->save());
        }
        auto context = m_store.openContext();
        RSSFeed *feed = RSSFeed::fetchFeeds(context.get())->first();
        QCOMPARE(feed->feedEntries().size(), 1);
        QCOMPARE(feed->feedEntries().first()->guid(), QStringLiteral("kept"));
        QVERIFY(RSSItem::existsWithGuid(context.get(), QStringLiteral("pruned")));
        QVERIFY(RSSItem::existsWithGuid(context.get(), QStringLiteral("kept")));
        QVERIFY(!RSSItem::existsWithGuid(context.get(), QStringLiteral("Pruned")));
        QVERIFY(!RSSItem::existsWithGuid(context.get(), QStringLiteral("prune*")));
        QVERIFY(!RSSItem::existsWithGuid(context.get(), std::nullopt));
    }

    void lookupSeesUnsavedInserts()
    {
        auto context = m_store.openContext();
        RSSFeed *feed = RSSFeed::insert(context.get());
        RSSItem *item = addItem(*context, feed, QStringLiteral("first"), QDateTime::currentDateTimeUtc());
        QVERIFY(RSSItem::existsWithGuid(context.get(), QStringLiteral("first")));
        QVERIFY(!RSSItem::existsWithGuid(context.get(), std::nullopt));
        item->setGuid(QStringLiteral("renamed"));
        QVERIFY(!RSSItem::existsWithGuid(context.get(), QStringLiteral("first")));
        QVERIFY(RSSItem::existsWithGuid(context.get(), QStringLiteral("renamed")));
        feed->addFeedEntry(RSSItem::insert(context.get()));
        QVERIFY(RSSItem::existsWithGuid(context.get(), std::nullopt));
        QVERIFY(context->save());
        QVERIFY(RSSItem::existsWithGuid(context.get(), QStringLiteral("renamed")));
        QVERIFY(RSSItem::existsWithGuid(context.get(), std::nullopt));
    }

    void deletingFeedDeletesEntriesAndSubLinks()
    {
        auto context = m_store.openContext();
        RSSFeed *feed = RSSFeed::insert(context.get());
        RSSFeed *other = RSSFeed::insert(context.get());
        RSSItem *item = addItem(*context, feed, QStringLiteral("gone"), QDateTime::currentDateTimeUtc());
        auto subLink = std::make_unique<SubLink>(context.get());
        subLink->setLink(QStringLiteral("http://example.org/"));
        item->addSubLinkEntry(std::move(subLink));
        addItem(*context, other, QStringLiteral("stays"), QDateTime::currentDateTimeUtc());
        QVERIFY(context->save());
        QSignalSpy changes(context.get(), &ObjectContext::objectsDidChange);
        context->deleteObject(feed);
        QCOMPARE(changes.size(), 1);
        const auto deleted = changes.first().first().value<QList<Record *>>();
        QCOMPARE(deleted.size(), 2);
        QVERIFY(context->hasChanges());
        QVERIFY(context->save());
        context.reset();

        auto reopened = m_store.openContext();
        QCOMPARE(RSSFeed::fetchFeeds(reopened.get())->size(), 1);
        QVERIFY(!RSSItem::existsWithGuid(reopened.get(), QStringLiteral("gone")));
        QVERIFY(RSSItem::existsWithGuid(reopened.get(), QStringLiteral("stays")));
        QCOMPARE(countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM SubLink")), 0);
        QCOMPARE(countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM RSSItem")), 1);
        QCOMPARE(countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM RSSItemText")), 1);
    }

    // Listeners of objectsDidChange may still look at what was deleted, unsaved entries included.
    void deletedRecordsStayValidUntilTheSave()
    {
        auto context = m_store.openContext();
        RSSFeed *feed = RSSFeed::insert(context.get());
        addItem(*context, feed, QStringLiteral("saved"), QDateTime::currentDateTimeUtc());
        QVERIFY(context->save());
        addItem(*context, feed, QStringLiteral("unsaved"), QDateTime::currentDateTimeUtc());
        QSignalSpy changes(context.get(), &ObjectContext::objectsDidChange);
        context->deleteObject(feed);
        QCOMPARE(changes.size(), 1);
        const auto deleted = changes.first().first().value<QList<Record *>>();
        QCOMPARE(deleted.first(), static_cast<Record *>(feed));
        QStringList guids;
        for (Record *record : deleted.mid(1)) {
            QCOMPARE(record->state(), Record::State::Deleted);
            guids.append(static_cast<RSSItem *>(record)->guid().value_or(QString()));
        }
        guids.sort();
        QCOMPARE(guids, QStringList({QStringLiteral("saved"), QStringLiteral("unsaved")}));
        QVERIFY(!RSSItem::existsWithGuid(context.get(), QStringLiteral("unsaved")));
        QVERIFY(context->save());
        QCOMPARE(countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM RSSItem")), 0);
    }

    void failedSaveKeepsEveryChangeAndWritesNothing()
    {
        auto context = m_store.openContext();
        RSSFeed *feed = RSSFeed::insert(context.get());
        feed->setName(QStringLiteral("pending"));
        addItem(*context, feed, QStringLiteral("entry"), QDateTime::currentDateTimeUtc());
        breakSaving(QStringLiteral("RSSItem"));
        QVERIFY(!context->save());
        QVERIFY(context->errorString().contains(QLatin1String("disk is full")));
        QVERIFY(context->hasChanges());
        QCOMPARE(feed->rowId(), 0);
        {
            // The feed row written before the failing entry was rolled back with it.
            auto observer = m_store.openContext();
            QCOMPARE(RSSFeed::fetchFeeds(observer.get())->size(), 0);
        }
        QVERIFY(runSql(m_store.storePath(), {QStringLiteral("DROP TRIGGER broken")}));
        QVERIFY2(context->save(), qPrintable(context->errorString()));
        auto reopened = m_store.openContext();
        QCOMPARE(RSSFeed::fetchFeeds(reopened.get())->first()->name(), QStringLiteral("pending"));
        QCOMPARE(RSSFeed::fetchFeeds(reopened.get())->first()->feedEntries().size(), 1);
    }

    void undoAndRedoAFeedEdit()
    {
        auto context = m_store.openContext();
        RSSFeed *feed = RSSFeed::insert(context.get());
        feed->setName(QStringLiteral("Before"));
        FeedEventLog events(context.get());
        context->setValueUndoably(feed, QStringLiteral("name"), QStringLiteral("After"));
        QCOMPARE(feed->name(), QStringLiteral("After"));
        context->undoManager()->undo();
        QCOMPARE(feed->name(), QStringLiteral("Before"));
        context->undoManager()->redo();
        QCOMPARE(feed->name(), QStringLiteral("After"));
        // Every step went through the custom setter and its notifications.
        const QStringList rename{QStringLiteral("updateMenus"), QStringLiteral("feedNameChanged")};
        QCOMPARE(events.names, rename + rename + rename);
    }

    // Each store tells its own observers, and its events end with it.
    void eventsStayWithTheirContext()
    {
        auto context = m_store.openContext();
        auto other = std::make_unique<ObjectContext>();
        QCOMPARE(FeedEvents::of(context.get()), FeedEvents::of(context.get()));
        const QPointer<FeedEvents> otherEvents = FeedEvents::of(other.get());
        FeedEventLog here(context.get());
        FeedEventLog there(other.get());
        RSSFeed::insert(context.get())->setName(QStringLiteral("Here"));
        QCOMPARE(here.names, (QStringList{QStringLiteral("updateMenus"), QStringLiteral("feedNameChanged")}));
        QVERIFY(there.names.isEmpty());
        other.reset();
        QVERIFY(!otherEvents);
    }

    void versionOneStoreIsMigratedAndReadsBack_data()
    {
        QTest::addColumn<QList<SchemaMigration>>("migrations");
        QTest::addColumn<int>("version");
        const QList<SchemaMigration> &steps = SchemaMigration::storeMigrations();
        const int current = SchemaMigration::versionAfter(steps);
        QTest::newRow("this version's steps") << steps << current;
        QTest::newRow("one step more") << steps + QList{step(QStringLiteral("ALTER TABLE RSSFeed ADD note TEXT"))}
                                       << current + 1;
        QTest::newRow("two steps more") << steps
                + QList{step(QStringLiteral("ALTER TABLE RSSFeed ADD note TEXT")),
                        step(QStringLiteral("CREATE INDEX RSSFeed_note ON "
                                            "RSSFeed(note)"))}
                                        << current + 2;
    }
    void versionOneStoreIsMigratedAndReadsBack()
    {
        QFETCH(QList<SchemaMigration>, migrations);
        QFETCH(int, version);
        copyVersionOneStore();
        QFile expected(testDataPath(QStringLiteral("store/version-1.json")));
        QVERIFY(expected.open(QIODevice::ReadOnly));
        // Opened twice: a step must run once only, and a second run of these would fail.
        for (int open = 0; open < 2; ++open) {
            ObjectContext context;
            context.setChecksFeeds(false);
            QVERIFY2(context.open(m_store.storePath(), dataModel(), migrations), qPrintable(context.errorString()));
            QCOMPARE(countRows(m_store.storePath(), QStringLiteral("PRAGMA user_version")), version);
            const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(&context);
            QVERIFY(feeds);
            QString dumped;
            QTextStream out(&dumped);
            StoreJson::dump(*feeds, out);
            out.flush();
            QCOMPARE(dumped.toUtf8(), expected.readAll());
            expected.seek(0);
            // Secrets stay out of the export; they must have come through all the same.
            QCOMPARE(feeds->last()->login(), QStringLiteral("ann"));
            QCOMPARE(feeds->last()->password(), QStringLiteral("s\u00e9cret"));
        }
    }

    // A store of the release before the pause was kept: its feeds come through without one, and a
    // pause written since reads back.
    void storeWithoutRetryPauseTakesItsStep()
    {
        copyVersionOneStore();
        const QList<SchemaMigration> earlierSteps = SchemaMigration::storeMigrations().first(2);
        {
            ObjectContext context;
            QVERIFY(context.open(m_store.storePath(), dataModel(), earlierSteps));
        }
        QCOMPARE(countRows(m_store.storePath(), QStringLiteral("PRAGMA user_version")), 3);
        const QDateTime pause(QDate(2026, 3, 5), QTime(12, 0), QTimeZone::utc());
        for (const bool paused : {false, true}) {
            std::unique_ptr<ObjectContext> context = m_store.openContext();
            QVERIFY(context);
            QCOMPARE(countRows(m_store.storePath(), QStringLiteral("PRAGMA user_version")),
                     SchemaMigration::versionAfter(SchemaMigration::storeMigrations()));
            const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(context.get());
            QVERIFY(feeds && feeds->size() == 2);
            QCOMPARE(feeds->last()->name(), QStringLiteral("News"));
            QCOMPARE(feeds->last()->retryAfter(), paused ? std::optional(pause) : std::nullopt);
            context.reset();
            QVERIFY(runSql(m_store.storePath(),
                           {QStringLiteral("UPDATE RSSFeed SET retryAfter = %1").arg(pause.toMSecsSinceEpoch())}));
        }
    }

    // A store of the release before feeds had settings of their own: its feeds come through with
    // notifications on and the interval at "auto", and settings written since read back.
    void storeWithoutFeedSettingsTakesItsStep()
    {
        copyVersionOneStore();
        {
            ObjectContext context;
            QVERIFY(context.open(m_store.storePath(), dataModel(), SchemaMigration::storeMigrations().first(3)));
        }
        QCOMPARE(countRows(m_store.storePath(), QStringLiteral("PRAGMA user_version")), 4);
        for (const bool written : {false, true}) {
            std::unique_ptr<ObjectContext> context = m_store.openContext();
            QVERIFY(context);
            QCOMPARE(countRows(m_store.storePath(), QStringLiteral("PRAGMA user_version")), 5);
            const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(context.get());
            QVERIFY(feeds && feeds->size() == 2);
            const RSSFeed *news = feeds->last();
            QCOMPARE(news->notifies(), !written);
            QCOMPARE(news->interval(), written ? std::optional<qint64>(600) : std::nullopt);
            QCOMPARE(news->hintedInterval(), written ? std::optional<qint64>(3600) : std::nullopt);
            QCOMPARE(news->skipTimes(), written ? 5 : 0);
            QCOMPARE(news->checkEvery(std::chrono::seconds(300)).length, std::chrono::seconds(written ? 600 : 300));
            context.reset();
            QVERIFY(runSql(m_store.storePath(),
                           {QStringLiteral("UPDATE RSSFeed SET notify = 0, interval = 600, "
                                           "hintedInterval = 3600, skipTimes = 5")}));
        }
    }

    // Earlier versions kept a pruned entry's text and sub-links for good.
    void migrationDropsWhatPrunedEntriesKept()
    {
        copyVersionOneStore();
        const QString entryOf = QStringLiteral("SELECT %1 FROM RSSItem WHERE id = (SELECT min(id) FROM RSSItem)");
        const qint64 pruned = countRows(m_store.storePath(), entryOf.arg(QStringLiteral("id")));
        QVERIFY(runSql(m_store.storePath(),
                       {QStringLiteral("UPDATE RSSItem SET feed = NULL WHERE id = %1").arg(pruned),
                        QStringLiteral("INSERT INTO RSSItemText (item, text) VALUES (%1, 'old') "
                                       "ON CONFLICT (item) DO NOTHING")
                            .arg(pruned),
                        QStringLiteral("INSERT INTO SubLink (item, link) VALUES (%1, 'http://a/')").arg(pruned)}));
        const QString textsOf = QStringLiteral("SELECT count(*) FROM RSSItemText WHERE item %1 %2");
        const QString linksOf = QStringLiteral("SELECT count(*) FROM SubLink WHERE item %1 %2");
        const qint64 keptTexts = countRows(m_store.storePath(), textsOf.arg(QStringLiteral("<>")).arg(pruned));
        const qint64 keptLinks = countRows(m_store.storePath(), linksOf.arg(QStringLiteral("<>")).arg(pruned));
        QVERIFY(keptTexts > 0);

        QVERIFY(m_store.openContext());
        QCOMPARE(countRows(m_store.storePath(), textsOf.arg(QStringLiteral("=")).arg(pruned)), 0);
        QCOMPARE(countRows(m_store.storePath(), linksOf.arg(QStringLiteral("=")).arg(pruned)), 0);
        QCOMPARE(countRows(m_store.storePath(), textsOf.arg(QStringLiteral("<>")).arg(pruned)), keptTexts);
        QCOMPARE(countRows(m_store.storePath(), linksOf.arg(QStringLiteral("<>")).arg(pruned)), keptLinks);
        // The entry itself stays, so that its identifier is still known.
        QCOMPARE(
            countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM RSSItem WHERE id = %1").arg(pruned)),
            1);
    }

    void newStoreTakesEveryStep()
    {
        ObjectContext context;
        QVERIFY(context.open(m_store.storePath(), dataModel(),
                             {step(QStringLiteral("ALTER TABLE RSSFeed ADD note TEXT"))}));
        QCOMPARE(countRows(m_store.storePath(), QStringLiteral("PRAGMA user_version")), 2);
        QCOMPARE(countRows(m_store.storePath(),
                           QStringLiteral("SELECT count(*) FROM pragma_table_info('RSSFeed') "
                                          "WHERE name = 'note'")),
                 1);
    }

    void refusedStoreIsLeftUntouched_data()
    {
        QTest::addColumn<QList<SchemaMigration>>("migrations");
        QTest::addColumn<int>("storedVersion");
        QTest::addColumn<QString>("error");
        const SchemaMigration good = step(QStringLiteral("ALTER TABLE RSSFeed ADD note TEXT"));
        const SchemaMigration bad = step(QStringLiteral("ALTER TABLE Missing ADD note TEXT"));
        QTest::newRow("failing step") << QList<SchemaMigration>{bad} << 1 << "upgraded from schema 1";
        QTest::newRow("failing step after a good one")
            << QList<SchemaMigration>{good, bad} << 1 << "upgraded from schema 1";
        QTest::newRow("newer store") << SchemaMigration::storeMigrations()
                                     << SchemaMigration::versionAfter(SchemaMigration::storeMigrations()) + 1
                                     << "newer version";
        QTest::newRow("newer store than the steps") << QList<SchemaMigration>{good} << 3 << "newer version";
    }
    void refusedStoreIsLeftUntouched()
    {
        QFETCH(QList<SchemaMigration>, migrations);
        QFETCH(int, storedVersion);
        QFETCH(QString, error);
        copyVersionOneStore();
        QVERIFY(runSql(m_store.storePath(), {QStringLiteral("PRAGMA user_version = %1").arg(storedVersion)}));
        const QByteArray before = fileBytes(m_store.storePath());
        ObjectContext context;
        QVERIFY(!context.open(m_store.storePath(), dataModel(), migrations));
        QVERIFY2(context.errorString().contains(error), qPrintable(context.errorString()));
        QVERIFY(!context.isOpen());
        QCOMPARE(fileBytes(m_store.storePath()), before);
    }

    void rowIdsAreNeverReused_data()
    {
        QTest::addColumn<bool>("migrated");
        QTest::addColumn<QString>("table");
        for (const bool migrated : {true, false}) {
            for (const char *table : {"RSSFeed", "RSSItem", "SubLink"}) {
                QTest::addRow("%s store, %s", migrated ? "migrated" : "new", table) << migrated << QString(table);
            }
        }
    }
    // A process holding a deleted record must find its row gone, not taken by a newcomer.
    void rowIdsAreNeverReused()
    {
        QFETCH(bool, migrated);
        QFETCH(QString, table);
        if (migrated) {
            copyVersionOneStore();
        }
        QVERIFY(m_store.openContext());
        const QString insert = table == QLatin1String("SubLink")
            ? QStringLiteral("INSERT INTO SubLink (item) VALUES (1)")
            : QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
        QVERIFY(runSql(m_store.storePath(), {insert, insert}));
        const QString autoincrement =
            QStringLiteral("SELECT instr(sql, 'AUTOINCREMENT') > 0 FROM sqlite_master WHERE name = '%1'").arg(table);
        const QString highest = QStringLiteral("SELECT max(id) FROM %1").arg(table);
        const qint64 before = countRows(m_store.storePath(), highest);
        QVERIFY(runSql(m_store.storePath(),
                       {QStringLiteral("DELETE FROM %1 WHERE id = %2").arg(table).arg(before), insert}));
        QCOMPARE(countRows(m_store.storePath(), highest), before + 1);
        QCOMPARE(countRows(m_store.storePath(), autoincrement), 1);
        // The lookups stay indexed.
        QCOMPARE(countRows(m_store.storePath(),
                           QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND "
                                          "name IN ('RSSItem_guid', 'RSSItem_feed', 'SubLink_item')")),
                 3);
    }

    void saveDoesNotBringBackRowsDeletedElsewhere_data()
    {
        QTest::addColumn<bool>("renameFeed");
        QTest::addColumn<bool>("addEntry");
        QTest::addColumn<bool>("retitleEntry");
        QTest::newRow("renamed feed") << true << false << false;
        QTest::newRow("new entry under the unchanged feed") << false << true << false;
        QTest::newRow("renamed feed with a new entry") << true << true << false;
        QTest::newRow("changed entry") << false << false << true;
    }
    // Another process deleted the feed with its entries; this one still holds them in memory.
    void saveDoesNotBringBackRowsDeletedElsewhere()
    {
        QFETCH(bool, renameFeed);
        QFETCH(bool, addEntry);
        QFETCH(bool, retitleEntry);
        auto context = m_store.openContext();
        RSSFeed *feed = RSSFeed::insert(context.get());
        feed->setName(QStringLiteral("Gone"));
        RSSItem *entry = addItem(*context, feed, QStringLiteral("g1"), QDateTime::currentDateTimeUtc());
        RSSFeed *kept = RSSFeed::insert(context.get());
        kept->setName(QStringLiteral("Kept"));
        QVERIFY(context->save());
        QVERIFY(
            runSql(m_store.storePath(),
                   {QStringLiteral("DELETE FROM SubLink"), QStringLiteral("DELETE FROM RSSItemText"),
                    QStringLiteral("DELETE FROM RSSItem"), QStringLiteral("DELETE FROM RSSFeed WHERE name = 'Gone'")}));
        if (renameFeed) {
            feed->setName(QStringLiteral("Renamed"));
        }
        if (addEntry) {
            addItem(*context, feed, QStringLiteral("g2"), QDateTime::currentDateTimeUtc());
        }
        if (retitleEntry) {
            entry->setTitle(QStringLiteral("Retitled"));
        }
        // Changes elsewhere are still written.
        kept->setName(QStringLiteral("Still kept"));
        QVERIFY2(context->save(), qPrintable(context->errorString()));
        QCOMPARE(countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM RSSFeed")), 1);
        QCOMPARE(
            countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM RSSFeed WHERE name = 'Still kept'")),
            1);
        QCOMPARE(countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM RSSItem")), 0);
        QCOMPARE(countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM RSSItemText")), 0);
        QCOMPARE(countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM SubLink")), 0);
    }

    // Listings load the feeds alone and ask the store how many entries each has; entries pruned
    // from a history stay in the store but are not counted.
    void listingLoadsFeedsWithoutTheirEntries()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        {
            auto context = m_store.openContext();
            RSSFeed *full = RSSFeed::insert(context.get());
            full->setName(QStringLiteral("Full"));
            addItem(*context, full, QStringLiteral("a"), now);
            addItem(*context, full, QStringLiteral("b"), now);
            RSSItem *pruned = addItem(*context, full, QStringLiteral("pruned"), now.addDays(-1));
            RSSFeed::insert(context.get())->setName(QStringLiteral("Empty"));
            QVERIFY(context->save());
            full->removeFeedEntry(pruned);
            QVERIFY(context->save());
        }
        auto context = m_store.openContext();
        context->setLoadsDestinations(false);
        const QList<RSSFeed *> feeds = RSSFeed::fetchFeeds(context.get()).value();
        QCOMPARE(feeds.size(), 2);
        QCOMPARE(feeds.at(0)->name(), QStringLiteral("Empty"));
        QCOMPARE(feeds.at(0)->entryCount(), std::optional<qsizetype>(0));
        QCOMPARE(feeds.at(1)->feedEntries().size(), 0);
        QCOMPARE(feeds.at(1)->entryCount(), std::optional<qsizetype>(2));
    }

    void entryTextReadsAsItWasGiven_data()
    {
        QTest::addColumn<int>("history");
        QTest::newRow("read after its save") << int(TextHistory::Saved);
        QTest::newRow("read after a later save of the entry") << int(TextHistory::SavedAgain);
        QTest::newRow("read after a save of a new date given to it as a fault") << int(TextHistory::RedatedAsAFault);
        QTest::newRow("read after an undone rename of its feed") << int(TextHistory::UndoneFeedRename);
        QTest::newRow("read, then its feed deleted elsewhere") << int(TextHistory::ReadThenFeedGone);
        QTest::newRow("never saved: its feed deleted elsewhere first") << int(TextHistory::FeedGoneBeforeSave);
        QTest::newRow("never saved: the save failed") << int(TextHistory::FailedSave);
    }
    // A saved text leaves memory and is read back from the store, and so do a saved entry's
    // title, identifier and sub-links once other entries were read since (here a single one is
    // enough); what a reader gets stays what the entry was given, and what the store never took
    // stays in memory.
    void entryTextReadsAsItWasGiven()
    {
        QFETCH(int, history);
        auto context = m_store.openContext();
        context->setMaximumRecordsHoldingLazyValues(1);
        RSSFeed *feed = RSSFeed::insert(context.get());
        feed->setName(QStringLiteral("Feed"));
        // Older than the entry, so that the entry heads its history even when both are made within
        // one millisecond.
        RSSItem *other = addItem(*context, feed, QStringLiteral("other"), QDateTime::currentDateTimeUtc().addSecs(-60));
        QVERIFY(context->save());
        RSSItem *entry = addItem(*context, feed, QStringLiteral("e"), QDateTime::currentDateTimeUtc());
        entry->setText(QStringLiteral("Text of e, see http://example.org/e"));
        const std::optional<QString> given = entry->text();
        QVERIFY(given);
        const auto details = [](const RSSItem *item) {
            QStringList read{item->title().value_or(QString()), item->guid().value_or(QString())};
            for (const auto &subLink : item->subLinks()) {
                read.append(subLink->link().value_or(QString()));
            }
            return read;
        };
        QStringList givenDetails = details(entry);
        QCOMPARE(givenDetails.size(), 3);
        const QStringList deleteFeedElsewhere{QStringLiteral("DELETE FROM RSSItemText"),
                                              QStringLiteral("DELETE FROM RSSItem"),
                                              QStringLiteral("DELETE FROM RSSFeed")};
        switch (TextHistory(history)) {
        case TextHistory::Saved:
            QVERIFY(context->save());
            break;
        case TextHistory::SavedAgain:
            QVERIFY(context->save());
            entry->setTitle(QStringLiteral("Retitled"));
            givenDetails[0] = QStringLiteral("Retitled");
            QVERIFY(context->save());
            break;
        case TextHistory::RedatedAsAFault:
            QVERIFY(context->save());
            QVERIFY(other->title());
            QVERIFY(entry->isFault());
            entry->setDate(QDateTime::currentDateTimeUtc().addDays(1));
            QVERIFY(context->save());
            break;
        case TextHistory::UndoneFeedRename:
            QVERIFY(context->save());
            context->setValueUndoably(feed, QStringLiteral("name"), QStringLiteral("Renamed"));
            QVERIFY(context->save());
            context->undoManager()->undo();
            QCOMPARE(feed->name(), QStringLiteral("Feed"));
            QVERIFY(context->save());
            break;
        case TextHistory::ReadThenFeedGone:
            QVERIFY(context->save());
            QCOMPARE(entry->text(), given);
            QCoreApplication::processEvents();
            QVERIFY(runSql(m_store.storePath(), deleteFeedElsewhere));
            break;
        case TextHistory::FeedGoneBeforeSave:
            QVERIFY(runSql(m_store.storePath(), deleteFeedElsewhere));
            QVERIFY(context->save());
            QCOMPARE(countRows(m_store.storePath(), QStringLiteral("SELECT count(*) FROM RSSItem")), 0);
            break;
        case TextHistory::FailedSave:
            breakSaving(QStringLiteral("RSSItemText"));
            QVERIFY(!context->save());
            QVERIFY(runSql(m_store.storePath(), {QStringLiteral("DROP TRIGGER broken")}));
            QCOMPARE(entry->text(), given);
            QVERIFY(context->save());
            break;
        }
        QCOMPARE(entry->text(), given);
        QCOMPARE(entry->valueForKey(QStringLiteral("text")).toString(), *given);
        // What the store no longer holds cannot come back from it: a fault of a row deleted
        // elsewhere reads nothing.
        if (TextHistory(history) != TextHistory::ReadThenFeedGone) {
            other->fireFault();
        }
        QCOMPARE(details(entry), givenDetails);
        // A row is written whole: what the store keeps is what the entry was given.
        const auto reopened = m_store.openContext();
        const QList<RSSFeed *> stored = *RSSFeed::fetchFeeds(reopened.get());
        if (!stored.isEmpty() && stored.first()->feedEntries().size() == 2) {
            const RSSItem *storedEntry = RSSItem::newestFirst(stored.first()->feedEntries()).first();
            QCOMPARE(details(storedEntry), givenDetails);
        } else {
            QVERIFY(TextHistory(history) == TextHistory::FeedGoneBeforeSave
                    || TextHistory(history) == TextHistory::ReadThenFeedGone);
        }
    }

    void entryTextIsLoadedOnlyWhenAsked()
    {
        const QString longText(5000, QLatin1Char('x'));
        {
            auto context = m_store.openContext();
            RSSFeed *feed = RSSFeed::insert(context.get());
            RSSItem *item = RSSItem::insert(context.get());
            item->setText(longText);
            feed->addFeedEntry(item);
            QVERIFY(context->save());
        }
        auto context = m_store.openContext();
        RSSItem *item = RSSFeed::fetchFeeds(context.get())->first()->feedEntries().first();
        QCOMPARE(item->valueForKey(QStringLiteral("text")).toString(), longText);
    }
};

QTEST_GUILESS_MAIN(tst_Store)
#include "tst_store.moc"
