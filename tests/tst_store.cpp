#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/SubLink.h"
#include "store/DistantPast.h"
#include "store/ObjectContext.h"
#include "tests/support/StoreFixture.h"

using namespace TestSupport;

// The object context over a real SQLite file: round trips, pruning, lookups, saving.
class tst_Store : public QObject
{
    Q_OBJECT

private:
    QString storePath() const { return m_home->dataHome() + QStringLiteral("/store.sql"); }
    std::unique_ptr<ObjectContext> openContext()
    {
        auto context = std::make_unique<ObjectContext>();
        if (!context->open(storePath(), dataModel())) {
            qWarning("%s", qPrintable(context->errorString()));
            return nullptr;
        }
        return context;
    }
    RSSItem *addItem(ObjectContext &context, RSSFeed *feed, const QString &guid, const QDateTime &date)
    {
        RSSItem *item = context.insertItem();
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
        QVERIFY(runSql(storePath(), {QStringLiteral("CREATE TRIGGER broken BEFORE INSERT ON %1 "
                                                    "BEGIN SELECT RAISE(ABORT, 'disk is full'); END")
                                         .arg(table)}));
    }

    std::unique_ptr<PreferencesHome> m_home;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<PreferencesHome>();
        QDir().mkpath(m_home->dataHome());
        // Keep the stored last fetch date across reloads so the round trip can see it.
        UserDefaults::standardUserDefaults()->setObject(true, Preferences::showGrowlsOnLaunch);
    }
    void cleanup() { m_home.reset(); }

    void roundTripKeepsAbsentAndEmptyValues()
    {
        const QDateTime date(QDate(2024, 2, 29), QTime(23, 59, 58, 123), QTimeZone::utc());
        {
            auto context = openContext();
            QVERIFY(context);
            RSSFeed *feed = context->insertFeed();
            QCOMPARE(feed->lastFetchDate(), distantPast());
            feed->setName(QStringLiteral("Ünïcode feed"));
            feed->setPassword(QString(""));
            feed->setShowInRecentList(true);
            feed->setGenerator(QStringLiteral("Trac 1.0"));
            RSSItem *item = context->insertItem();
            item->setAuthor(QString(""));
            item->setDate(date);
            item->setTitle(QStringLiteral("A & B"));
            item->setGuid(QStringLiteral("guid-1"));
            item->setText(QStringLiteral("Line one"));
            auto subLink = context->insertSubLink();
            subLink->setLink(QStringLiteral("rdar://42"));
            subLink->setText(QString(""));
            item->addSubLinkEntry(std::move(subLink));
            auto webLink = context->insertSubLink();
            webLink->setLink(QStringLiteral("http://example.org/"));
            item->addSubLinkEntry(std::move(webLink));
            feed->addFeedEntry(item);
            RSSItem *bare = context->insertItem();
            feed->addFeedEntry(bare);
            QVERIFY(context->hasChanges());
            QVERIFY2(context->save(), qPrintable(context->errorString()));
            QVERIFY(!context->hasChanges());
        }
        auto context = openContext();
        QVERIFY(context);
        const auto feeds = context->fetchFeeds();
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
    }

    void feedsAreSortedByName()
    {
        auto context = openContext();
        QVERIFY(context);
        for (const char *name : {"beta", "Alpha", "alpha"}) {
            context->insertFeed()->setName(QString::fromLatin1(name));
        }
        context->insertFeed();
        QStringList names;
        const auto feeds = context->fetchFeeds();
        for (RSSFeed *feed : *feeds) {
            names.append(feed->name().value_or(QStringLiteral("(none)")));
        }
        QCOMPARE(names, (QStringList{"(none)", "Alpha", "alpha", "beta"}));
    }

    void prunedEntriesStayKnownButLeaveMemory()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        {
            auto context = openContext();
            RSSFeed *feed = context->insertFeed();
            addItem(*context, feed, QStringLiteral("kept"), now);
            RSSItem *old = addItem(*context, feed, QStringLiteral("pruned"), now.addDays(-1));
            QVERIFY(context->save());
            feed->removeFeedEntry(old);
            QCOMPARE(old->feed(), nullptr);
            QVERIFY(context->hasChanges());
            QVERIFY(context->save());
        }
        auto context = openContext();
        RSSFeed *feed = context->fetchFeeds()->first();
        QCOMPARE(feed->feedEntries().size(), 1);
        QCOMPARE(feed->feedEntries().first()->guid(), QStringLiteral("kept"));
        QVERIFY(context->hasItemWithGuid(QStringLiteral("pruned")));
        QVERIFY(context->hasItemWithGuid(QStringLiteral("kept")));
        QVERIFY(!context->hasItemWithGuid(QStringLiteral("Pruned")));
        QVERIFY(!context->hasItemWithGuid(QStringLiteral("prune*")));
        QVERIFY(!context->hasItemWithGuid(std::nullopt));
    }

    void lookupSeesUnsavedInserts()
    {
        auto context = openContext();
        RSSFeed *feed = context->insertFeed();
        RSSItem *item = addItem(*context, feed, QStringLiteral("first"), QDateTime::currentDateTimeUtc());
        QVERIFY(context->hasItemWithGuid(QStringLiteral("first")));
        QVERIFY(!context->hasItemWithGuid(std::nullopt));
        item->setGuid(QStringLiteral("renamed"));
        QVERIFY(!context->hasItemWithGuid(QStringLiteral("first")));
        QVERIFY(context->hasItemWithGuid(QStringLiteral("renamed")));
        feed->addFeedEntry(context->insertItem());
        QVERIFY(context->hasItemWithGuid(std::nullopt));
        QVERIFY(context->save());
        QVERIFY(context->hasItemWithGuid(QStringLiteral("renamed")));
        QVERIFY(context->hasItemWithGuid(std::nullopt));
    }

    void deletingFeedDeletesEntriesAndSubLinks()
    {
        auto context = openContext();
        RSSFeed *feed = context->insertFeed();
        RSSFeed *other = context->insertFeed();
        RSSItem *item = addItem(*context, feed, QStringLiteral("gone"), QDateTime::currentDateTimeUtc());
        auto subLink = context->insertSubLink();
        subLink->setLink(QStringLiteral("http://example.org/"));
        item->addSubLinkEntry(std::move(subLink));
        addItem(*context, other, QStringLiteral("stays"), QDateTime::currentDateTimeUtc());
        QVERIFY(context->save());
        QSignalSpy changes(context.get(), &ObjectContext::objectsDidChange);
        context->deleteFeed(feed);
        QCOMPARE(changes.size(), 1);
        const auto deleted = changes.first().first().value<QList<Record *>>();
        QCOMPARE(deleted.size(), 2);
        QVERIFY(context->hasChanges());
        QVERIFY(context->save());
        context.reset();

        auto reopened = openContext();
        QCOMPARE(reopened->fetchFeeds()->size(), 1);
        QVERIFY(!reopened->hasItemWithGuid(QStringLiteral("gone")));
        QVERIFY(reopened->hasItemWithGuid(QStringLiteral("stays")));
        QCOMPARE(countRows(storePath(), QStringLiteral("SELECT count(*) FROM SubLink")), 0);
        QCOMPARE(countRows(storePath(), QStringLiteral("SELECT count(*) FROM RSSItem")), 1);
        QCOMPARE(countRows(storePath(), QStringLiteral("SELECT count(*) FROM RSSItemText")), 1);
    }

    void failedSaveKeepsEveryChangeAndWritesNothing()
    {
        auto context = openContext();
        RSSFeed *feed = context->insertFeed();
        feed->setName(QStringLiteral("pending"));
        addItem(*context, feed, QStringLiteral("entry"), QDateTime::currentDateTimeUtc());
        breakSaving(QStringLiteral("RSSItem"));
        QVERIFY(!context->save());
        QVERIFY(context->errorString().contains(QLatin1String("disk is full")));
        QVERIFY(context->hasChanges());
        QCOMPARE(feed->rowId(), 0);
        {
            // The feed row written before the failing entry was rolled back with it.
            auto observer = openContext();
            QCOMPARE(observer->fetchFeeds()->size(), 0);
        }
        QVERIFY(runSql(storePath(), {QStringLiteral("DROP TRIGGER broken")}));
        QVERIFY2(context->save(), qPrintable(context->errorString()));
        auto reopened = openContext();
        QCOMPARE(reopened->fetchFeeds()->first()->name(), QStringLiteral("pending"));
        QCOMPARE(reopened->fetchFeeds()->first()->feedEntries().size(), 1);
    }

    void undoAndRedoAFeedEdit()
    {
        auto context = openContext();
        RSSFeed *feed = context->insertFeed();
        feed->setName(QStringLiteral("Before"));
        QSignalSpy notices(NotificationCenter::defaultCenter(), &NotificationCenter::posted);
        context->setValueUndoably(feed, QStringLiteral("name"), QStringLiteral("After"));
        QCOMPARE(feed->name(), QStringLiteral("After"));
        context->undoManager()->undo();
        QCOMPARE(feed->name(), QStringLiteral("Before"));
        context->undoManager()->redo();
        QCOMPARE(feed->name(), QStringLiteral("After"));
        // Every step went through the custom setter and its notifications.
        QCOMPARE(notices.size(), 6);
        QCOMPARE(notices.at(0).first().toString(), Notifications::updateMenus);
        QCOMPARE(notices.at(1).first().toString(), Notifications::feedNameChanged);
    }

    void entryTextIsLoadedOnlyWhenAsked()
    {
        const QString longText(5000, QLatin1Char('x'));
        {
            auto context = openContext();
            RSSFeed *feed = context->insertFeed();
            RSSItem *item = context->insertItem();
            item->setText(longText);
            feed->addFeedEntry(item);
            QVERIFY(context->save());
        }
        auto context = openContext();
        RSSItem *item = context->fetchFeeds()->first()->feedEntries().first();
        QCOMPARE(item->valueForKey(QStringLiteral("text")).toString(), longText);
    }
};

QTEST_GUILESS_MAIN(tst_Store)
#include "tst_store.moc"
