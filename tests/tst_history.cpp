#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <memory>

#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "store/ObjectContext.h"
#include "tests/fakes/RecordingOpener.h"
#include "tests/support/FeedEventLog.h"
#include "tests/support/StoreFixture.h"

using namespace TestSupport;
using Text = std::optional<QString>;

Q_DECLARE_METATYPE(Text)

namespace {

const QDateTime firstDate(QDate(2024, 3, 1), QTime(8, 0), QTimeZone::utc());

} // namespace

// A feed's history: pruning with the cached pages, the feed's menu item, its top entries, opening its site.
class tst_History : public QObject
{
    Q_OBJECT

private:
    // Entry i is dated i hours after the first date, so the last one is the newest; negative
    // positions make undated entries. Titles are "entry-i".
    QList<RSSItem *> addEntries(int count, int undated = 0)
    {
        QList<RSSItem *> entries;
        for (int i = -undated; i < count; ++i) {
            RSSItem *entry = RSSItem::insert(m_store.context.get());
            entry->setGuid(QStringLiteral("entry-%1").arg(i));
            entry->setTitle(QStringLiteral("entry-%1").arg(i));
            if (i >= 0) {
                entry->setDate(firstDate.addSecs(3600 * i));
            }
            m_feed->addFeedEntry(entry);
            entries.append(entry);
        }
        return entries;
    }
    QString writeCacheFile(const QString &name)
    {
        const QString path = m_store.cachesFolder() + QLatin1Char('/') + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("MIME-Version: 1.0\r\n") < 0) {
            qWarning("cannot write %s", qPrintable(path));
        }
        return path;
    }
    static QStringList titles(const QList<RSSItem *> &entries)
    {
        QStringList result;
        for (const RSSItem *entry : entries) {
            result.append(entry->title().value_or(QStringLiteral("(none)")));
        }
        return result;
    }
    static QStringList range(int newest, int oldest)
    {
        QStringList result;
        for (int i = newest; i >= oldest; --i) {
            result.append(QStringLiteral("entry-%1").arg(i));
        }
        return result;
    }

    StoreFixture m_store;
    RSSFeed *m_feed = nullptr;

private Q_SLOTS:
    void init()
    {
        QVERIFY2(m_store.setUp(StoreFixture::Store::InMemory), qPrintable(m_store.context->errorString()));
        m_feed = RSSFeed::insert(m_store.context.get());
    }
    void cleanup() { m_store.tearDown(); }

    void pruning_data()
    {
        QTest::addColumn<QVariant>("limit");
        QTest::addColumn<int>("dated");
        QTest::addColumn<int>("undated");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<int>("updateMenusPosts");

        QTest::newRow("12 entries over a limit of 10: the two oldest go")
            << QVariant(10) << 12 << 0 << range(11, 2) << 1;
        QTest::newRow("10 entries at a limit of 10: nothing changes") << QVariant(10) << 10 << 0 << range(9, 0) << 0;
        QTest::newRow("limit 0 empties the history") << QVariant(0) << 3 << 0 << QStringList() << 1;
        QTest::newRow("a negative limit never prunes") << QVariant(-1) << 5 << 0 << range(4, 0) << 0;
        // Read as 0 it would prune every entry of every feed.
        QTest::newRow("a non-numeric limit reads as the default of 100")
            << QVariant(QStringLiteral("many")) << 2 << 0 << range(1, 0) << 0;
        QTest::newRow("undated entries count as the oldest") << QVariant(3) << 3 << 2 << range(2, 0) << 1;
    }

    void pruning()
    {
        QFETCH(QVariant, limit);
        QFETCH(int, dated);
        QFETCH(int, undated);
        QFETCH(QStringList, kept);
        QFETCH(int, updateMenusPosts);

        setPreference(Preferences::maximumEntryHistoryCount, limit);
        const QList<RSSItem *> entries = addEntries(dated, undated);
        QHash<RSSItem *, QString> cacheFiles;
        for (RSSItem *entry : entries) {
            cacheFiles.insert(entry, writeCacheFile(*entry->title() + QStringLiteral(".mhtml")));
            entry->setCachedPath(cacheFiles.value(entry));
        }

        m_feed->setShowInRecentList(true);

        FeedEventLog events(m_store.context.get());
        m_feed->cleanupOldItems();

        QCOMPARE(titles(m_feed->firstFeedItems(1000)), kept);
        QCOMPARE(events.count(QStringLiteral("updateMenus")), updateMenusPosts);
        for (RSSItem *entry : entries) {
            const bool isKept = kept.contains(*entry->title());
            QCOMPARE(entry->feed(), isKept ? m_feed : nullptr);
            QCOMPARE(entry->cachedPath().has_value(), isKept);
            QCOMPARE(QFile::exists(cacheFiles.value(entry)), isKept);
            // Pruned entries stay in the store, so the same entry is never stored twice.
            QVERIFY(RSSItem::existsWithGuid(m_store.context.get(), entry->guid()));
        }
    }

    void removePageCache_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("pathRemoved");

        QTest::newRow("file in the caches folder") << QStringLiteral("file") << true;
        QTest::newRow("symbolic link to a file elsewhere: the link goes, the file stays")
            << QStringLiteral("link") << true;
        QTest::newRow("dangling symbolic link") << QStringLiteral("dangling") << true;
        QTest::newRow("file outside the caches folder") << QStringLiteral("outside") << false;
        QTest::newRow("path climbing out of the caches folder") << QStringLiteral("climbing") << false;
        QTest::newRow("folder in the caches folder") << QStringLiteral("folder") << false;
        QTest::newRow("missing file") << QStringLiteral("missing") << true;
    }

    void removePageCache()
    {
        QFETCH(QString, kind);
        QFETCH(bool, pathRemoved);

        const QString precious = m_store.home->path() + QStringLiteral("/precious.txt");
        QFile file(precious);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep me") == 7);
        file.close();
        QString path = m_store.cachesFolder() + QStringLiteral("/0F0E0D0C-0000-4000-8000-000000000000.mhtml");
        if (kind == QLatin1String("file")) {
            writeCacheFile(QFileInfo(path).fileName());
        } else if (kind == QLatin1String("link")) {
            QVERIFY(QFile::link(precious, path));
        } else if (kind == QLatin1String("dangling")) {
            QVERIFY(QFile::link(m_store.home->path() + QStringLiteral("/gone"), path));
        } else if (kind == QLatin1String("outside")) {
            path = precious;
        } else if (kind == QLatin1String("climbing")) {
            path = m_store.cachesFolder() + QStringLiteral("/../../precious.txt");
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path));
        }
        RSSItem *entry = addEntries(1).first();
        entry->setCachedPath(path);

        entry->removePageCache();
        QCOMPARE(entry->cachedPath(), Text());
        QCOMPARE(QFileInfo(path).exists() || QFileInfo(path).isSymLink(), !pathRemoved);
        QVERIFY(QFile::exists(precious));
    }

    void feedMenuItemTitle_data()
    {
        QTest::addColumn<Text>("name");
        QTest::addColumn<Text>("url");
        QTest::addColumn<bool>("didConnect");
        QTest::addColumn<QString>("title");

        const Text none;
        // Without a scheme the address starts no download, so the connection flag stays as set.
        const Text url(QStringLiteral("example.org/rss"));
        QTest::newRow("name") << Text("News") << url << true << QStringLiteral("News");
        QTest::newRow("no name: the address") << none << url << true << QStringLiteral("example.org/rss");
        QTest::newRow("neither name nor address") << none << none << true << QStringLiteral("Feed");
        QTest::newRow("not connected: a hyphen before the name")
            << Text("News") << url << false << QStringLiteral("-News");
        QTest::newRow("never connected, nothing known") << none << none << false << QStringLiteral("-Feed");
        // An empty title would leave an item nobody can pick out.
        QTest::newRow("empty name: the address") << Text("") << url << true << QStringLiteral("example.org/rss");
    }

    void feedMenuItemTitle()
    {
        QFETCH(Text, name);
        QFETCH(Text, url);
        QFETCH(bool, didConnect);
        QFETCH(QString, title);

        m_feed->setName(name);
        m_feed->setUrl(url);
        m_feed->setDidConnect(didConnect);
        const MenuItem item = m_feed->feedMenuItem({});
        QCOMPARE(item.title, title);
        QCOMPARE(item.action, QStringLiteral("openFeed"));
        QCOMPARE(item.target, static_cast<Record *>(m_feed));
    }

    void feedMenuItemEntries_data()
    {
        QTest::addColumn<int>("entryCount");
        QTest::addColumn<int>("hiddenCount"); // the newest ones, as the top list hides them
        QTest::addColumn<bool>("hideTopEntries");
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("hasSubmenu");
        QTest::addColumn<QStringList>("shown");

        QTest::newRow("15 entries, 4 hidden, limit 10: the 10 newest of the other 11")
            << 15 << 4 << true << 10 << true << range(10, 1);
        QTest::newRow("hiding switched off lists the hidden entries too")
            << 15 << 4 << false << 10 << true << range(14, 5);
        QTest::newRow("whole history hidden: no submenu") << 3 << 3 << true << 10 << false << QStringList();
        QTest::newRow("no entries: no submenu") << 0 << 0 << true << 10 << false << QStringList();
        QTest::newRow("limit 0 lists nothing but keeps the submenu") << 3 << 0 << true << 0 << true << QStringList();
        QTest::newRow("a negative limit lists every entry") << 12 << 0 << true << -1 << true << range(11, 0);
    }

    void feedMenuItemEntries()
    {
        QFETCH(int, entryCount);
        QFETCH(int, hiddenCount);
        QFETCH(bool, hideTopEntries);
        QFETCH(int, limit);
        QFETCH(bool, hasSubmenu);
        QFETCH(QStringList, shown);

        setPreference(Preferences::hideTopEntriesFromHistory, hideTopEntries);
        setPreference(Preferences::maximumEntryHistoryCount, limit);
        const QList<RSSItem *> entries = addEntries(entryCount);
        m_feed->setName(QStringLiteral("News"));
        m_feed->setDidConnect(true);
        const QList<RSSItem *> newest = entries.mid(entryCount - hiddenCount);
        const MenuItem item = m_feed->feedMenuItem(QSet<RSSItem *>(newest.cbegin(), newest.cend()));

        QCOMPARE(bool(item.submenu), hasSubmenu);
        if (!item.submenu) {
            return;
        }
        QCOMPARE(item.submenu->title, QStringLiteral("News"));
        QStringList listed;
        for (const MenuItem &entryItem : item.submenu->items) {
            listed.append(*static_cast<RSSItem *>(entryItem.target)->title());
        }
        QCOMPARE(listed, shown);
    }

    void firstFeedItems_data()
    {
        QTest::addColumn<bool>("showInRecentList");
        QTest::addColumn<int>("entryCount");
        QTest::addColumn<quint32>("count");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("fewer entries than asked: all of them") << true << 2 << 3u << range(1, 0);
        QTest::newRow("the newest first, cut to the count") << true << 5 << 3u << range(4, 2);
        QTest::newRow("not shown in the recent list") << false << 2 << 3u << QStringList();
    }

    void firstFeedItems()
    {
        QFETCH(bool, showInRecentList);
        QFETCH(int, entryCount);
        QFETCH(quint32, count);
        QFETCH(QStringList, expected);

        addEntries(entryCount);
        m_feed->setShowInRecentList(showInRecentList);
        QCOMPARE(titles(m_feed->firstFeedItems(count)), expected);
    }

    void cachedIDs()
    {
        QCOMPARE(m_feed->cachedIDs(), QSet<QString>());
        const QList<RSSItem *> entries = addEntries(3);
        QCOMPARE(m_feed->cachedIDs(), QSet<QString>());
        entries[0]->setCachedPath(m_store.cachesFolder() + QStringLiteral("/A.mhtml"));
        entries[2]->setCachedPath(m_store.cachesFolder() + QStringLiteral("/C.mhtml"));
        QCOMPARE(m_feed->cachedIDs(), QSet<QString>({QStringLiteral("A.mhtml"), QStringLiteral("C.mhtml")}));
    }

    void openFeed_data()
    {
        QTest::addColumn<Text>("link");
        QTest::addColumn<QList<QUrl>>("opened");

        QTest::newRow("web page") << Text("http://example.org/news") << QList<QUrl>{QUrl("http://example.org/news")};
        QTest::newRow("no link") << Text() << QList<QUrl>();
        // Links come from the feed document: nothing but web pages reaches the desktop's opener.
        QTest::newRow("local file") << Text("file:///etc/passwd") << QList<QUrl>();
        QTest::newRow("script") << Text("javascript:alert(1)") << QList<QUrl>();
    }

    void openFeed()
    {
        QFETCH(Text, link);
        QFETCH(QList<QUrl>, opened);

        RecordingOpener opener;
        m_feed->setValueForKey(QStringLiteral("link"), RecordValue::fromOptional(link));
        m_feed->openFeed();
        QCOMPARE(opener.opened, opened);

        // The menu item does the same when chosen, and nothing once the feed is gone.
        opener.opened.clear();
        const MenuItem item = m_feed->feedMenuItem({});
        item.perform();
        QCOMPARE(opener.opened, opened);
        opener.opened.clear();
        m_store.context.reset();
        item.perform();
        QCOMPARE(opener.opened, QList<QUrl>());
    }

    // A feed that rotates its items used to leave every pruned entry's text and sub-links in the
    // store for ever. Pruned entries keep their identifiers only, so they are never announced again.
    void prunedEntriesKeepOnlyTheirIdentifiers_data()
    {
        QTest::addColumn<int>("entriesPerRound");

        QTest::newRow("pruned after being saved") << 10;
        QTest::newRow("pruned before their first save") << 30;
    }
    void prunedEntriesKeepOnlyTheirIdentifiers()
    {
        QFETCH(int, entriesPerRound);

        m_store.tearDown();
        QVERIFY(m_store.setUp(StoreFixture::Store::File));
        m_feed = RSSFeed::insert(m_store.context.get());
        const int limit = 10;
        const int rounds = 20;
        setPreference(Preferences::maximumEntryHistoryCount, limit);
        const QString filler(20000, QLatin1Char('x'));
        QStringList identifiers;
        for (int round = 0; round < rounds; ++round) {
            for (int i = 0; i < entriesPerRound; ++i) {
                const int number = round * entriesPerRound + i;
                RSSItem *entry = RSSItem::insert(m_store.context.get());
                entry->setGuid(QStringLiteral("rotating-%1").arg(number));
                entry->setDate(firstDate.addSecs(60 * number));
                entry->setText(QStringLiteral("<p>%1 http://example.com/link-%2</p>").arg(filler).arg(number));
                m_feed->addFeedEntry(entry);
                identifiers.append(*entry->guid());
            }
            m_feed->cleanupOldItems();
            QVERIFY2(m_store.context->save(), qPrintable(m_store.context->errorString()));
        }

        const QString path = m_store.storePath();
        const int total = rounds * entriesPerRound;
        QCOMPARE(countRows(path, QStringLiteral("SELECT count(*) FROM RSSItem")), total);
        QCOMPARE(countRows(path, QStringLiteral("SELECT count(*) FROM RSSItemText")), limit);
        QCOMPARE(countRows(path, QStringLiteral("SELECT count(*) FROM SubLink")), limit);
        QCOMPARE(countRows(path,
                           QStringLiteral("SELECT count(*) FROM SubLink JOIN RSSItem ON SubLink.item = "
                                          "RSSItem.id WHERE RSSItem.feed IS NULL")),
                 0);
        // The kept texts alone take limit * 20 kB; every pruned one kept would add as much again.
        const qint64 bound = 2 * limit * filler.size() + total * 1024;
        QVERIFY2(QFileInfo(path).size() < bound, qPrintable(QString::number(QFileInfo(path).size())));

        // A fresh context, as after a restart, still knows every identifier, pruned or kept.
        m_store.context = std::make_unique<ObjectContext>();
        QVERIFY(m_store.context->open(path, dataModel()));
        for (const QString &identifier : std::as_const(identifiers)) {
            QVERIFY2(RSSItem::existsWithGuid(m_store.context.get(), identifier), qPrintable(identifier));
        }
    }

    // Menus are built from the records, and a save frees the entries pruning took from their
    // feed while such a menu may still be open: choosing their items must then do nothing.
    void menuOfAPrunedEntry_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QList<QUrl>>("opened");

        QTest::newRow("kept entry and its sub-link open")
            << 1 << QList<QUrl>{QUrl("http://example.com/entry-1"), QUrl("http://example.com/link-1")};
        QTest::newRow("pruned and saved entry and its sub-link do nothing") << 0 << QList<QUrl>();
    }
    void menuOfAPrunedEntry()
    {
        QFETCH(int, entry);
        QFETCH(QList<QUrl>, opened);

        QVERIFY(QDir().mkpath(m_store.home->dataHome()));
        m_store.context = std::make_unique<ObjectContext>();
        QVERIFY(m_store.context->open(m_store.home->dataHome() + QStringLiteral("/store.sql"), dataModel()));
        m_feed = RSSFeed::insert(m_store.context.get());
        setPreference(Preferences::enableSubLinksInMenu, true);
        setPreference(Preferences::maximumEntryHistoryCount, 1);
        const QList<RSSItem *> entries = addEntries(2);
        for (int i = 0; i < entries.size(); ++i) {
            entries[i]->setUrl(QStringLiteral("http://example.com/entry-%1").arg(i));
            entries[i]->setText(QStringLiteral("<p>see http://example.com/link-%1</p>").arg(i));
        }
        MenuItem item = entries.at(entry)->menuItem();
        QVERIFY(item.submenu && item.submenu->items.size() == 1);

        m_feed->cleanupOldItems();
        QCOMPARE(entries.at(0)->feed(), nullptr);
        QCOMPARE(entries.at(1)->feed(), m_feed);
        QVERIFY(m_store.context->save());

        RecordingOpener opener;
        item.perform();
        item.submenu->items.front().perform();
        QCOMPARE(opener.opened, opened);
    }
};

QTEST_GUILESS_MAIN(tst_History)
#include "tst_history.moc"
