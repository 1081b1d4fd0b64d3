// Announcing the entries of one parse: a document with 500 items newer than the feed's last
// fetch, each announced to the bridge, against a notification server on the session bus.
// Posting is asynchronous, so the parse should spend next to nothing waiting for the server.

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include <algorithm>

#include "BenchSupport.h"
#include "fakes/FakeNotificationServer.h"
#include "model/FeedEvents.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/parsing/XmlDocument.h"
#include "notify/BrevlinObject.h"
#include "notify/NotificationBridgeHost.h"
#include "platform/dbus/FreedesktopNotificationService.h"
#include "store/ObjectContext.h"
#include "tests/support/StoreFixture.h"

namespace {

constexpr int itemCount = 500;
constexpr int rounds = 3;

class BenchHost : public NotificationBridgeHost
{
public:
    QList<RSSFeed *> rssFeeds() override { return {}; }
    bool pinGrowlNotification() override { return false; }
};

QByteArray feedDocument(int round)
{
    QString document = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\">\n<channel>\n"
                                      "<title>Announced</title>\n<link>https://example.com/</link>\n");
    const QDateTime newest(QDate(2024, 6, 1), QTime(12, 0), QTimeZone::utc());
    for (int item = 0; item < itemCount; ++item) {
        document +=
            QStringLiteral("<item><title>Entry %1 &amp; more</title><link>https://example.com/%2/%1</link>"
                           "<guid>urn:bench:notify:%2:%1</guid><pubDate>%3</pubDate>"
                           "<description>Text of entry %1 with &lt;b&gt;markup&lt;/b&gt;.</description></item>\n")
                .arg(item)
                .arg(round)
                .arg(newest.addSecs(-60LL * item).toString(Qt::RFC2822Date));
    }
    return (document + QStringLiteral("</channel>\n</rss>\n")).toUtf8();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TestSupport::PreferencesHome home;
    FakeNotificationServer server;
    if (!server.start()) {
        qFatal("the notification service name is taken; run under dbus-run-session");
    }
    BenchHost host;
    FreedesktopNotificationService service;
    BrevlinObject bridge(&host, &service);
    QElapsedTimer posting;
    qint64 postingNs = 0;

    double best = 1e300;
    double deliveredBest = 1e300;
    // Round 0 warms up: its posts wait for the server's capabilities, later ones go out at once.
    for (int round = 0; round <= rounds; ++round) {
        ObjectContext context;
        QObject::connect(FeedEvents::of(&context), &FeedEvents::newRssItem, &bridge, [&](RSSItem *item) {
            posting.start();
            bridge.postNewRSSItem(item);
            postingNs += posting.nsecsElapsed();
        });
        RSSFeed *feed = RSSFeed::insert(&context);
        feed->setName(QStringLiteral("Announced"));
        feed->setLastFetchDate(QDateTime(QDate(2024, 1, 1), QTime(0, 0), QTimeZone::utc()));
        const std::unique_ptr<XmlDocument> document = XmlDocument::fromData(feedDocument(round));
        const qsizetype before = server.calls.size();
        postingNs = 0;
        QElapsedTimer delivered;
        delivered.start();
        feed->parseDocument(document.get());
        if (!QTest::qWaitFor([&] { return server.calls.size() - before == itemCount; }, 30000)) {
            qFatal("the server received %d of %d notifications", int(server.calls.size() - before), itemCount);
        }
        if (round == 0) {
            continue;
        }
        best = std::min(best, double(postingNs) / 1e6);
        deliveredBest = std::min(deliveredBest, double(delivered.nsecsElapsed()) / 1e6);
    }
    Bench::report("notify_500_ms", best, "ms");
    Bench::report("notify_500_delivered_ms", deliveredBest, "ms");
    return 0;
}
