// Feed documents into stored entries: 200 generated feeds of 50 items, parsed first into a
// new store (every item new, stored silently) and then again (nothing new), against libxml2's
// bare parse of the same bytes.

#include <QApplication>
#include <QRandomGenerator>

#include <libxml/parser.h>

#include <algorithm>
#include <vector>

#include "BenchSupport.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/parsing/XmlDocument.h"
#include "store/DistantPast.h"
#include "store/ObjectContext.h"
#include "tests/support/StoreFixture.h"

namespace {

constexpr int feedCount = 200;
constexpr int itemsPerFeed = 50;
constexpr int rounds = 3;

const char *const words[] = {"lorem", "ipsum",  "dolor",  "sit",     "amet",    "consectetur", "adipiscing",
                             "elit",  "sed",    "do",     "eiusmod", "tempor",  "incididunt",  "labore",
                             "magna", "aliqua", "veniam", "nostrud", "ullamco", "laboris",     "commodo"};

// One paragraph of a description as feeds write it: HTML escaped once for XML, with
// references, links, emphasis and now and then a visible address.
QString paragraph(QRandomGenerator &random)
{
    QString text = QStringLiteral("&lt;p&gt;");
    const int length = 40 + int(random.bounded(60));
    for (int i = 0; i < length; ++i) {
        const QString word = QString::fromLatin1(words[random.bounded(int(std::size(words)))]);
        switch (random.bounded(24)) {
        case 0:
            text += QStringLiteral("&lt;a href=\"https://example.com/%1?id=%2&amp;amp;ref=rss\"&gt;%1&lt;/a&gt; ")
                        .arg(word)
                        .arg(random.bounded(100000));
            break;
        case 1:
            text += QStringLiteral("&lt;em&gt;%1&lt;/em&gt; ").arg(word);
            break;
        case 2:
            text += word + QStringLiteral("&amp;#8217;s ");
            break;
        case 3:
            text += QStringLiteral("&amp;amp; ");
            break;
        case 4:
            text += word + QStringLiteral("&amp;nbsp;&amp;mdash; ");
            break;
        case 5:
            text += QStringLiteral("caf&amp;eacute; ");
            break;
        default:
            text += word + QLatin1Char(' ');
        }
    }
    if (random.bounded(10) == 0) {
        text += QStringLiteral("More at http://example.org/%1 today. ").arg(random.bounded(1000));
    }
    return text + QStringLiteral("&lt;/p&gt;\n");
}

QByteArray feedDocument(int feed, QRandomGenerator &random)
{
    QString document = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\">\n<channel>\n"
                                      "<title>Generated feed %1</title>\n<link>https://example.com/%1/</link>\n"
                                      "<generator>Bench 1.0</generator>\n")
                           .arg(feed);
    const QDateTime newest(QDate(2024, 6, 1), QTime(12, 0), QTimeZone::utc());
    for (int item = 0; item < itemsPerFeed; ++item) {
        QString description;
        const qsizetype wanted = 1000 + qsizetype(random.bounded(2000));
        while (description.size() < wanted) {
            description += paragraph(random);
        }
        // Now and then text that still holds markup once its tags are gone, for the HTML reader.
        if (item % 50 == 7) {
            description += QStringLiteral("I &amp;lt;3 this");
        }
        document += QStringLiteral("<item>\n<title>Item %1 of feed %2: caf&amp;eacute; &amp;amp; more</title>\n"
                                   "<link>https://example.com/%2/items/%1</link>\n"
                                   "<guid isPermaLink=\"false\">urn:bench:%2:%1</guid>\n"
                                   "<pubDate>%3</pubDate>\n<author>writer%1@example.com (Writer)</author>\n"
                                   "<description>%4</description>\n</item>\n")
                        .arg(item)
                        .arg(feed)
                        .arg(newest.addSecs(-3600LL * item - feed).toString(Qt::RFC2822Date), description);
    }
    document += QStringLiteral("</channel>\n</rss>\n");
    return document.toUtf8();
}

double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double bareParseMilliseconds(const std::vector<QByteArray> &documents)
{
    QElapsedTimer timer;
    timer.start();
    for (const QByteArray &bytes : documents) {
        xmlDoc *document = xmlReadMemory(bytes.constData(), int(bytes.size()), nullptr, nullptr,
                                         XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (!document) {
            qFatal("libxml2 could not parse a generated document");
        }
        xmlFreeDoc(document);
    }
    return milliseconds(timer);
}

double parseAll(const std::vector<QByteArray> &documents, const QList<RSSFeed *> &feeds)
{
    QElapsedTimer timer;
    timer.start();
    for (size_t i = 0; i < documents.size(); ++i) {
        const std::unique_ptr<XmlDocument> document = XmlDocument::fromData(documents[i]);
        feeds[qsizetype(i)]->parseDocument(document.get());
    }
    return milliseconds(timer);
}

struct Round
{
    double firstMs;
    double saveMs;
    double secondMs;
};

Round measureRound(const std::vector<QByteArray> &documents, const QString &storePath)
{
    QFile::remove(storePath);
    ObjectContext context;
    if (!context.open(storePath, TestSupport::dataModel())) {
        qFatal("%s", qPrintable(context.errorString()));
    }
    QList<RSSFeed *> feeds;
    for (int i = 0; i < feedCount; ++i) {
        feeds.append(RSSFeed::insert(&context));
    }
    Round round{};
    round.firstMs = parseAll(documents, feeds);
    int stored = 0;
    for (const RSSFeed *feed : std::as_const(feeds)) {
        stored += int(feed->feedEntries().size());
    }
    if (stored != feedCount * itemsPerFeed) {
        qFatal("the first pass stored %d entries", stored);
    }
    QElapsedTimer timer;
    timer.start();
    if (!context.save()) {
        qFatal("%s", qPrintable(context.errorString()));
    }
    round.saveMs = milliseconds(timer);
    round.secondMs = parseAll(documents, feeds);
    stored = 0;
    for (const RSSFeed *feed : std::as_const(feeds)) {
        stored += int(feed->feedEntries().size());
    }
    if (stored != feedCount * itemsPerFeed || context.hasChanges() != true) {
        qFatal("the second pass changed the history");
    }
    return round;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The tray program runs with a GUI application object, which the HTML reader needs.
    QApplication app(argc, argv);
    TestSupport::PreferencesHome home;

    QRandomGenerator random(20240601);
    std::vector<QByteArray> documents;
    qint64 bytes = 0;
    for (int feed = 0; feed < feedCount; ++feed) {
        documents.push_back(feedDocument(feed, random));
        bytes += documents.back().size();
    }

    double bare = 1e300;
    Round best{1e300, 1e300, 1e300};
    for (int i = 0; i < rounds; ++i) {
        bare = std::min(bare, bareParseMilliseconds(documents));
        const Round round = measureRound(documents, home.path() + QStringLiteral("/bench.sql"));
        best.firstMs = std::min(best.firstMs, round.firstMs);
        best.saveMs = std::min(best.saveMs, round.saveMs);
        best.secondMs = std::min(best.secondMs, round.secondMs);
    }
    Bench::report("parse_documents_mb", double(bytes) / (1024.0 * 1024.0), "MB");
    Bench::report("parse_first_items_per_s", feedCount * itemsPerFeed / (best.firstMs / 1000.0), "1/s");
    Bench::report("parse_first_ms", best.firstMs, "ms");
    Bench::report("parse_first_save_ms", best.saveMs, "ms");
    Bench::report("parse_second_ms", best.secondMs, "ms");
    Bench::report("libxml2_bare_parse_ms", bare, "ms");
    Bench::report("parse_second_over_bare", best.secondMs / bare, "x");
    return 0;
}
