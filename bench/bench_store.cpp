// Opening a large store, identifier lookups against it, saving a burst of new entries, and a tick
// of the check timer over 2,000 feeds of which none is due.

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include "BenchSupport.h"
#include "controller/RSSBrevlinController.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "store/ObjectContext.h"
#include "tests/fakes/FakeAlerts.h"
#include "tests/support/StoreFixture.h"

namespace {

constexpr int feedCount = 200;
constexpr int historyPerFeed = 100;
constexpr int prunedCount = 100000;

// The timer's tick over 2,000 feeds, two thirds at the global interval and a third with an interval of
// their own, on a clock that stays a minute after the start-up check.
void measureIdleTick(const QString &path)
{
    constexpr int tickFeeds = 2000;
    constexpr int ticks = 200;
    ObjectContext context;
    context.open(path, TestSupport::dataModel());
    context.setChecksFeeds(false);
    for (int i = 0; i < tickFeeds; ++i) {
        RSSFeed *feed = RSSFeed::insert(&context);
        feed->setName(QStringLiteral("Tick feed %1").arg(i, 4, 10, QLatin1Char('0')));
        if (i % 3 == 1) {
            feed->setInterval(600);
        }
    }
    QDateTime now = QDateTime::currentDateTimeUtc();
    FakeAlerts alerts;
    RSSBrevlinController controller(&context, &alerts);
    controller.setClock([&now] { return now; });
    controller.awakeFromNib();
    now = now.addSecs(60);
    int checked = 0;
    QObject::connect(&controller, &RSSBrevlinController::feedsChecked,
                     [&checked](const QList<RSSFeed *> &feeds) { checked += int(feeds.size()); });
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < ticks; ++i) {
        controller.checkDueFeeds();
    }
    const double tickMs = double(timer.nsecsElapsed()) / 1e6 / ticks;
    if (checked != 0) {
        qFatal("a tick with no feed due checked %d feeds", checked);
    }
    Bench::report("tick_2000_feeds_none_due_ms", tickMs, "ms");
}

QString guidFor(int n)
{
    return QStringLiteral("tag:example.org,2026:entry/%1").arg(n);
}

// Writes the store directly with SQL: quicker to build than through the records.
void buildStore(const QString &path)
{
    ObjectContext creator;
    creator.open(path, TestSupport::dataModel());
    creator.save();
    const QString name = QStringLiteral("bench-build");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
        QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size = -400000"));
        db.transaction();
        QSqlQuery feed(db);
        feed.prepare(QStringLiteral("INSERT INTO RSSFeed (id, name, url, showInRecentList, lastFetchDate) "
                                    "VALUES (?, ?, ?, 1, 0)"));
        QSqlQuery item(db);
        item.prepare(QStringLiteral("INSERT INTO RSSItem (feed, author, date, title, url, guid) "
                                    "VALUES (?, ?, ?, ?, ?, ?)"));
        QSqlQuery itemText(db);
        itemText.prepare(QStringLiteral("INSERT INTO RSSItemText (item, text) VALUES (last_insert_rowid(), ?)"));
        const QString text = QString(QStringLiteral("Lorem ipsum dolor sit amet. ")).repeated(40);
        int n = 0;
        for (int f = 1; f <= feedCount; ++f) {
            feed.addBindValue(f);
            feed.addBindValue(QStringLiteral("Feed %1").arg(f));
            feed.addBindValue(QStringLiteral("relative/feed-%1.xml").arg(f));
            feed.exec();
            for (int i = 0; i < historyPerFeed; ++i, ++n) {
                item.addBindValue(f);
                item.addBindValue(QStringLiteral("author%1@example.org").arg(i));
                item.addBindValue(qint64(1700000000000) + qint64(n) * 60000);
                item.addBindValue(QStringLiteral("Entry title number %1 of feed %2").arg(i).arg(f));
                item.addBindValue(QStringLiteral("https://example.org/feed/%1/entry/%2").arg(f).arg(i));
                item.addBindValue(guidFor(n));
                item.exec();
                itemText.addBindValue(text);
                itemText.exec();
            }
        }
        for (int i = 0; i < prunedCount; ++i, ++n) {
            item.addBindValue(QVariant(QMetaType::fromType<qlonglong>()));
            item.addBindValue(QString());
            item.addBindValue(qint64(1600000000000) + qint64(i) * 60000);
            item.addBindValue(QStringLiteral("Old entry %1").arg(i));
            item.addBindValue(QStringLiteral("https://example.org/old/%1").arg(i));
            item.addBindValue(guidFor(n));
            item.exec();
            itemText.addBindValue(text);
            itemText.exec();
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--build") == 0) {
        buildStore(QString::fromLocal8Bit(argv[2]));
        return 0;
    }
    TestSupport::PreferencesHome home;
    const QString path = home.path() + QStringLiteral("/bench.sql");
    // Built by a child process, so that what building costs in memory is not measured here.
    if (QProcess::execute(QCoreApplication::applicationFilePath(), {QStringLiteral("--build"), path}) != 0) {
        qFatal("building the benchmark store failed");
    }
    const double baseline = Bench::residentMegabytes();

    QElapsedTimer timer;
    timer.start();
    ObjectContext context;
    context.open(path, TestSupport::dataModel());
    const auto feeds = RSSFeed::fetchFeeds(&context);
    const double openMs = double(timer.nsecsElapsed()) / 1e6;
    if (!feeds || feeds->size() != feedCount) {
        qFatal("the benchmark store did not load");
    }
    Bench::report("store_open_ms", openMs, "ms");
    Bench::report("store_open_rss_mb", Bench::residentMegabytes(), "MB");
    Bench::report("store_open_rss_growth_mb", Bench::residentMegabytes() - baseline, "MB");

    constexpr int lookups = 200000;
    const int known = feedCount * historyPerFeed + prunedCount;
    int found = 0;
    timer.restart();
    for (int i = 0; i < lookups; ++i) {
        // Half of the lookups hit a stored identifier, half miss, as in a real check.
        found += RSSItem::existsWithGuid(&context, i % 2 ? guidFor((i * 7919) % known) : guidFor(known + i)) ? 1 : 0;
    }
    const double lookupSeconds = double(timer.nsecsElapsed()) / 1e9;
    if (found != lookups / 2) {
        qFatal("identifier lookup gave %d hits, expected %d", found, lookups / 2);
    }
    Bench::report("guid_lookups_per_s", lookups / lookupSeconds, "1/s");

    const QString text = QString(QStringLiteral("Fresh text of a new entry. ")).repeated(40);
    for (int i = 0; i < 5000; ++i) {
        RSSItem *item = RSSItem::insert(&context);
        item->setTitle(QStringLiteral("New entry %1").arg(i));
        item->setDate(QDateTime::currentDateTimeUtc());
        item->setUrl(QStringLiteral("https://example.org/new/%1").arg(i));
        item->setGuid(QUuid::createUuid().toString());
        item->setText(text);
        feeds->at(i % feedCount)->addFeedEntry(item);
    }
    timer.restart();
    if (!context.save()) {
        qFatal("save failed: %s", qPrintable(context.errorString()));
    }
    Bench::report("save_5000_entries_ms", double(timer.nsecsElapsed()) / 1e6, "ms");
    measureIdleTick(home.path() + QStringLiteral("/tick.sql"));
    return 0;
}
