#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/parsing/XmlDocument.h"
#include "store/DistantPast.h"
#include "store/ObjectContext.h"
#include "tests/support/FeedEventLog.h"
#include "tests/support/StoreFixture.h"

using namespace TestSupport;

namespace {

QDateTime utc(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toUTC();
}

QByteArray feedFile(const QString &name)
{
    return readTestData(QStringLiteral("feeds/") + name);
}

// An RSS 2.0 document whose one channel holds these children.
QByteArray rssChannel(const QString &items)
{
    return (QStringLiteral("<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                           "xmlns:content=\"http://purl.org/rss/1.0/modules/content/\" "
                           "xmlns:sy=\"http://purl.org/rss/1.0/modules/syndication/\"><channel>")
            + items + QStringLiteral("</channel></rss>"))
        .toUtf8();
}

QByteArray atomWithEntries(const QString &entries)
{
    return (QStringLiteral("<?xml version=\"1.0\"?><feed xmlns=\"http://www.w3.org/2005/Atom\">") + entries
            + QStringLiteral("</feed>"))
        .toUtf8();
}

QStringList titlesOf(const QList<RSSItem *> &entries)
{
    QStringList titles;
    for (const RSSItem *entry : entries) {
        titles.append(shown(entry->title()));
    }
    return titles;
}

} // namespace

// Feed documents becoming stored entries: dispatch on the document kind, channel values,
// item fields, the date filter, identifiers, notifications, and hostile documents.
class tst_Parsing : public QObject
{
    Q_OBJECT

private:
    void parse(const QByteArray &bytes, RSSFeed *feed = nullptr)
    {
        const std::unique_ptr<XmlDocument> document = XmlDocument::fromData(bytes);
        (feed ? feed : m_feed)->parseDocument(document.get());
    }
    // Parses with no last fetch date, so the date filter lets every item through.
    RSSItem *parseSingleEntry(const QByteArray &bytes)
    {
        m_feed->setLastFetchDate(std::nullopt);
        parse(bytes);
        return m_feed->feedEntries().size() == 1 ? m_feed->feedEntries().first() : nullptr;
    }

    StoreFixture m_store;
    RSSFeed *m_feed = nullptr;

private Q_SLOTS:
    void init()
    {
        QVERIFY2(m_store.setUp(StoreFixture::Store::File), qPrintable(m_store.context->errorString()));
        m_feed = RSSFeed::insert(m_store.context.get());
    }
    void cleanup() { m_store.tearDown(); }

    void documentKinds_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("announced");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QDateTime>("lastFetchDate");
        QTest::addColumn<int>("updateMenus");

        // A new feed stores its first RSS 2.0 or Atom document silently; the name's setter adds one "updateMenus".
        QTest::newRow("RSS 2.0: channel then its items")
            << "rss2-channel-and-three-items.xml" << QStringList{"First", "Second", "Third"} << 0 << "Channel Title"
            << "http://example.com/" << utc("2024-01-03T10:00:00Z") << 2;
        // The channel's own pass finds no items and clears the last fetch date, so the root's pass announces.
        QTest::newRow("RSS 1.0: items beside the channel, announced")
            << "rss1-items-beside-channel.xml" << QStringList{"Alpha", "Beta"} << 2 << "RDF Channel"
            << "http://example.org/" << utc("2024-02-02T07:00:00Z") << 2;
        QTest::newRow("Atom: entries, no channel values")
            << "atom-title-does-not-name-feed.xml" << QStringList{"Entry one", "Entry two"} << 0 << absent << absent
            << utc("2024-03-02T12:00:00Z") << 1;
        QTest::newRow("HTML error page") << "html-error-page.html" << QStringList() << 0 << absent << absent
                                         << distantPast() << 1;
        QTest::newRow("another root element")
            << "opml-root-is-not-a-feed.xml" << QStringList() << 0 << absent << absent << distantPast() << 1;
        QTest::newRow("no document") << QString() << QStringList() << 0 << absent << absent << distantPast() << 1;
    }
    void documentKinds()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, titles);
        QFETCH(int, announced);
        QFETCH(QString, name);
        QFETCH(QString, link);
        QFETCH(QDateTime, lastFetchDate);
        QFETCH(int, updateMenus);

        FeedEventLog posted(m_store.context.get());
        if (file.isEmpty()) {
            m_feed->parseDocument(nullptr);
        } else {
            parse(feedFile(file));
        }
        QCOMPARE(titlesOf(m_feed->feedEntries()), titles);
        QCOMPARE(posted.count(QStringLiteral("newRssItem")), announced);
        QCOMPARE(posted.announced, m_feed->feedEntries().mid(0, announced));
        QCOMPARE(shown(m_feed->name()), name);
        QCOMPARE(shown(m_feed->link()), link);
        QCOMPARE(m_feed->lastFetchDate().value_or(QDateTime()), lastFetchDate);
        QCOMPARE(posted.count(QStringLiteral("updateMenus")), updateMenus);
        QCOMPARE(posted.count(QStringLiteral("feedNameChanged")), updateMenus - 1);
        QVERIFY2(m_store.context->save(), qPrintable(m_store.context->errorString()));
    }

    void channelValues_data()
    {
        QTest::addColumn<std::optional<QString>>("nameBefore");
        QTest::addColumn<QString>("channel");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("nameChanges");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("generator");
        QTest::addColumn<bool>("isTrac");
        QTest::addColumn<bool>("isTwitter");

        const std::optional<QString> none;
        QTest::newRow("absent name takes the title") << none << "<title>Example</title>"
                                                     << "Example" << 1 << absent << absent << false << false;
        QTest::newRow("empty name takes the title") << std::optional<QString>("") << "<title>Example</title>"
                                                    << "Example" << 1 << absent << absent << false << false;
        QTest::newRow("a name the user gave stays") << std::optional<QString>("Mine") << "<title>Example</title>"
                                                    << "Mine" << 0 << absent << absent << false << false;
        QTest::newRow("first non-empty title names the feed")
            << none << "<title></title><title>Second</title><title>Third</title>"
            << "Second" << 2 << absent << absent << false << false;
        // Channel values are used as the XML parser delivers them; item titles lose markup and references.
        QTest::newRow("title keeps a doubly escaped reference")
            << none << "<title>Tom &amp;amp; Jerry &lt;b&gt;</title>"
            << "Tom &amp; Jerry <b>" << 1 << absent << absent << false << false;
        QTest::newRow("title keeps character data markup")
            << none << "<title><![CDATA[<b>Bold</b> &amp; more]]></title>"
            << "<b>Bold</b> &amp; more" << 1 << absent << absent << false << false;
        QTest::newRow("link is the element's text, never an href")
            << std::optional<QString>("Mine") << "<link href=\"http://a.example/\">http://b.example/</link>"
            << "Mine" << 0 << "http://b.example/" << absent << false << false;
        QTest::newRow("Trac generator") << std::optional<QString>("Mine") << "<generator>Trac 0.12</generator>"
                                        << "Mine" << 0 << absent << "Trac 0.12" << true << false;
        QTest::newRow("Twitter generator") << std::optional<QString>("Mine") << "<generator>Twitter</generator>"
                                           << "Mine" << 0 << absent << "Twitter" << false << true;
        QTest::newRow("generator tests are case-sensitive")
            << std::optional<QString>("Mine") << "<generator>trac twitter</generator>"
            << "Mine" << 0 << absent << "trac twitter" << false << false;
    }
    void channelValues()
    {
        QFETCH(std::optional<QString>, nameBefore);
        QFETCH(QString, channel);
        QFETCH(QString, name);
        QFETCH(int, nameChanges);
        QFETCH(QString, link);
        QFETCH(QString, generator);
        QFETCH(bool, isTrac);
        QFETCH(bool, isTwitter);

        m_feed->setName(nameBefore);
        FeedEventLog posted(m_store.context.get());
        parse(rssChannel(channel));
        QCOMPARE(shown(m_feed->name()), name);
        QCOMPARE(posted.count(QStringLiteral("feedNameChanged")), nameChanges);
        QCOMPARE(posted.count(QStringLiteral("updateMenus")), nameChanges + 1);
        QCOMPARE(shown(m_feed->link()), link);
        QCOMPARE(shown(m_feed->generator()), generator);
        QCOMPARE(m_feed->isTracFeed(), isTrac);
        QCOMPARE(m_feed->isTwitterFeed(), isTwitter);
    }

    // Every channel's generator sets both flags, so a later document clears them again.
    void generatorWithoutFlagsClearsThem()
    {
        parse(rssChannel(QStringLiteral("<generator>Twitter and Trac</generator>")));
        QVERIFY(m_feed->isTwitterFeed() && m_feed->isTracFeed());
        parse(rssChannel(QStringLiteral("<generator>WordPress</generator>")));
        QVERIFY(!m_feed->isTwitterFeed() && !m_feed->isTracFeed());
    }

    void itemFields_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("author");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("guid");
        QTest::addColumn<QString>("text");

        const QDateTime noDate;
        QTest::newRow("RSS item") << rssChannel(
            "<item><author>bob@example.com (Bob)</author><title>Hello</title>"
            "<link>http://example.com/1</link><guid isPermaLink=\"false\">urn:1</guid>"
            "<pubDate>Sat, 07 Sep 2002 00:00:01 GMT</pubDate><description>Body</description></item>")
                                  << "bob@example.com (Bob)" << utc("2002-09-07T00:00:01Z") << "Hello"
                                  << "http://example.com/1"
                                  << "urn:1"
                                  << "Body";
        QTest::newRow("Atom updated before published gives updated")
            << atomWithEntries("<entry><id>e</id><updated>2024-01-02T00:00:00Z</updated>"
                               "<published>2024-01-01T00:00:00Z</published></entry>")
            << absent << utc("2024-01-02T00:00:00Z") << absent << absent << "e" << absent;
        QTest::newRow("Atom published before updated gives published")
            << atomWithEntries("<entry><id>e</id><published>2024-01-01T00:00:00Z</published>"
                               "<updated>2024-01-02T00:00:00Z</updated></entry>")
            << absent << utc("2024-01-01T00:00:00Z") << absent << absent << "e" << absent;
        QTest::newRow("the first link's href, whatever its relation")
            << atomWithEntries("<entry><id>e</id><link rel=\"replies\" href=\"http://example.com/replies\"/>"
                               "<link rel=\"alternate\" href=\"http://example.com/page\"/></entry>")
            << absent << noDate << absent << "http://example.com/replies"
            << "e" << absent;
        QTest::newRow("author's email child")
            << atomWithEntries("<entry><id>e</id><author><name>Bob</name><email>bob@example.com</email></author>"
                               "</entry>")
            << "bob@example.com" << noDate << absent << absent << "e" << absent;
        QTest::newRow("author without email keeps the whole text")
            << atomWithEntries("<entry><id>e</id><author>\n  <name>Bob</name>\n</author></entry>") << "\n  Bob\n"
            << noDate << absent << absent << "e" << absent;
        QTest::newRow("title and text lose markup and references")
            << rssChannel("<item><guid>g</guid><title>&lt;b&gt;Q&amp;amp;A&lt;/b&gt;</title>"
                          "<description>&lt;p&gt;Caf&amp;eacute; &amp;amp; bar&lt;/p&gt;</description></item>")
            << absent << noDate << "Q&A" << absent << "g"
            << "Café & bar";
        // Both were stored as "x  2" and "I _<": the "<" took the text up to the next ">".
        QTest::newRow("less-than signs that open no tag stay")
            << rssChannel("<item><guid>g</guid><title>x &lt; 3 and y &gt; 2</title>"
                          "<description>I &lt;3 cats &gt;_&lt;</description></item>")
            << absent << noDate << "x < 3 and y > 2" << absent << "g"
            << "I <3 cats >_<";
        QTest::newRow("dc:date gives the date and the identifier")
            << rssChannel("<item><dc:date>2003-12-31T10:14:55Z</dc:date><dc:title>Dublin</dc:title>"
                          "<dc:source>http://example.com/src</dc:source></item>")
            << absent << utc("2003-12-31T10:14:55Z") << "Dublin"
            << "http://example.com/src"
            << "2003-12-31T10:14:55Z" << absent;
        QTest::newRow("prefixed full text is not the description")
            << rssChannel("<item><guid>g</guid><content:encoded>Full</content:encoded>"
                          "<description>Short</description></item>")
            << absent << noDate << absent << absent << "g"
            << "Short";
        QTest::newRow("Atom summary gives no text")
            << atomWithEntries("<entry><id>e</id><summary>Summary only</summary></entry>") << absent << noDate << absent
            << absent << "e" << absent;
        QTest::newRow("the first date element decides even when unreadable")
            << rssChannel("<item><guid>g</guid><pubDate>soon</pubDate><dc:date>2003-12-31</dc:date></item>") << absent
            << noDate << absent << absent << "g" << absent;
        // Feeds without identifiers: the link, else the title, identifies the entry and is stored as its guid.
        QTest::newRow("without identifier the link identifies")
            << rssChannel("<item><title>A</title><link>http://example.com/a</link></item>") << absent << noDate << "A"
            << "http://example.com/a"
            << "http://example.com/a" << absent;
        QTest::newRow("an empty identifier counts as none")
            << rssChannel("<item><title>A</title><guid></guid><link>http://example.com/a</link></item>") << absent
            << noDate << "A"
            << "http://example.com/a"
            << "http://example.com/a" << absent;
        QTest::newRow("without identifier and link the title identifies")
            << rssChannel("<item><title>Only &amp;amp; title</title></item>") << absent << noDate << "Only & title"
            << absent << "Only & title" << absent;
    }
    void itemFields()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, author);
        QFETCH(QDateTime, date);
        QFETCH(QString, title);
        QFETCH(QString, url);
        QFETCH(QString, guid);
        QFETCH(QString, text);

        const RSSItem *entry = parseSingleEntry(document);
        QVERIFY(entry);
        QCOMPARE(shown(entry->author()), author);
        QCOMPARE(entry->date().value_or(QDateTime()), date);
        QCOMPARE(shown(entry->title()), title);
        QCOMPARE(shown(entry->url()), url);
        QCOMPARE(shown(entry->guid()), guid);
        QCOMPARE(shown(entry->text()), text);
    }

    void dateFilter_data()
    {
        QTest::addColumn<std::optional<QDateTime>>("lastFetchDate");
        QTest::addColumn<QString>("pubDate");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<bool>("announced");
        QTest::addColumn<QDateTime>("lastFetchDateAfter");

        const std::optional<QDateTime> last = utc("2024-05-01T12:00:00Z");
        const std::optional<QDateTime> none;
        const QDateTime noDate;
        const QString atLast = QStringLiteral("Wed, 01 May 2024 12:00:00 GMT");
        const QString secondLater = QStringLiteral("Wed, 01 May 2024 12:00:01 GMT");
        // The pass leaves the newest date it saw, whether or not the item was stored.
        QTest::newRow("no last fetch date takes a dated item") << none << atLast << true << true << *last;
        QTest::newRow("no last fetch date takes an undated item") << none << QString() << true << true << noDate;
        QTest::newRow("dated exactly at the last fetch") << last << atLast << false << false << *last;
        QTest::newRow("dated a second later") << last << secondLater << true << true << utc("2024-05-01T12:00:01Z");
        QTest::newRow("dated earlier") << last << "Tue, 30 Apr 2024 12:00:00 GMT" << false << false
                                       << utc("2024-04-30T12:00:00Z");
        QTest::newRow("undated after a fetch") << last << QString() << false << false << noDate;
        QTest::newRow("silent first fetch stores without announcing")
            << std::optional<QDateTime>(distantPast()) << atLast << true << false << *last;
        QTest::newRow("silent first fetch skips undated items")
            << std::optional<QDateTime>(distantPast()) << QString() << false << false << noDate;
    }
    void dateFilter()
    {
        QFETCH(std::optional<QDateTime>, lastFetchDate);
        QFETCH(QString, pubDate);
        QFETCH(bool, stored);
        QFETCH(bool, announced);
        QFETCH(QDateTime, lastFetchDateAfter);

        m_feed->setLastFetchDate(lastFetchDate);
        FeedEventLog posted(m_store.context.get());
        const QString date = pubDate.isNull() ? QString() : QStringLiteral("<pubDate>%1</pubDate>").arg(pubDate);
        parse(rssChannel(QStringLiteral("<item><guid>new</guid>%1</item>").arg(date)));
        QCOMPARE(m_feed->feedEntries().size(), stored ? 1 : 0);
        QCOMPARE(posted.count(QStringLiteral("newRssItem")), announced ? 1 : 0);
        QCOMPARE(m_feed->lastFetchDate().value_or(QDateTime()), lastFetchDateAfter);
    }

    // A new feed's first document: ten dated entries stored without a word, the undated one
    // skipped; the next document announces only what is newer.
    void silentFirstFetchThenAnnouncements()
    {
        FeedEventLog first(m_store.context.get());
        parse(feedFile(QStringLiteral("rss2-ten-dated-items-and-one-undated.xml")));
        QCOMPARE(m_feed->feedEntries().size(), 10);
        QVERIFY(!titlesOf(m_feed->feedEntries()).contains(QStringLiteral("Undated")));
        QCOMPARE(first.count(QStringLiteral("newRssItem")), 0);
        QCOMPARE(m_feed->lastFetchDate(), utc("2024-03-10T09:00:00Z"));

        FeedEventLog second(m_store.context.get());
        parse(rssChannel(QStringLiteral("<item><guid>urn:dated:9</guid><pubDate>Sun, 10 Mar 2024 09:00:00 +0000"
                                        "</pubDate></item><item><title>Newer</title><guid>urn:newer</guid>"
                                        "<pubDate>Mon, 11 Mar 2024 09:00:00 +0000</pubDate></item>")));
        QCOMPARE(second.count(QStringLiteral("newRssItem")), 1);
        QCOMPARE(shown(second.announced.first()->title()), QStringLiteral("Newer"));
        QCOMPARE(m_feed->feedEntries().size(), 11);
    }

    // A document without items clears the last fetch date; the next one stores and announces
    // every entry not stored yet, dated or not.
    void documentWithoutItemsOpensTheFilter()
    {
        m_feed->setLastFetchDate(utc("2024-01-01T00:00:00Z"));
        parse(feedFile(QStringLiteral("rss2-without-items.xml")));
        QCOMPARE(m_feed->lastFetchDate(), std::nullopt);
        FeedEventLog posted(m_store.context.get());
        parse(rssChannel(QStringLiteral("<item><guid>old</guid><pubDate>Mon, 01 Jan 2001 00:00:00 GMT</pubDate>"
                                        "</item><item><guid>undated</guid></item>")));
        QCOMPARE(m_feed->feedEntries().size(), 2);
        QCOMPARE(posted.count(QStringLiteral("newRssItem")), 2);
        QCOMPARE(m_feed->lastFetchDate(), utc("2001-01-01T00:00:00Z"));
    }

    // What a document says of how often to ask for it: each hint alone, together (the longest
    // wins), values that are no use, and the hours and days to skip.
    void scheduleHints_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<qint64>("hinted"); // seconds, -1 for none
        QTest::addColumn<qint64>("skipTimes");

        const auto sy = [](const char *period, const char *frequency) {
            return QStringLiteral("<sy:updatePeriod>%1</sy:updatePeriod><sy:updateFrequency>%2</sy:updateFrequency>")
                .arg(QLatin1String(period), QLatin1String(frequency));
        };
        QTest::newRow("no hint") << rssChannel(QString()) << qint64(-1) << qint64(0);
        QTest::newRow("ttl of 60 minutes") << rssChannel("<ttl>60</ttl>") << qint64(3600) << qint64(0);
        QTest::newRow("hourly, twice") << rssChannel(sy("hourly", "2")) << qint64(1800) << qint64(0);
        QTest::newRow("a period alone, once")
            << rssChannel("<sy:updatePeriod> Weekly </sy:updatePeriod>") << qint64(86400) << qint64(0);
        QTest::newRow("a frequency alone counts per day")
            << rssChannel("<sy:updateFrequency>4</sy:updateFrequency>") << qint64(21600) << qint64(0);
        QTest::newRow("ttl and syndication together: the longer")
            << rssChannel("<ttl>30</ttl>" + sy("daily", "2")) << qint64(43200) << qint64(0);
        QTest::newRow("ttl beyond a day, capped") << rssChannel("<ttl>2000</ttl>") << qint64(86400) << qint64(0);
        QTest::newRow("ttl of 10^12 minutes, capped")
            << rssChannel("<ttl>1000000000000</ttl>") << qint64(86400) << qint64(0);
        QTest::newRow("ttl of more digits than 64 bits, capped")
            << rssChannel("<ttl>99999999999999999999999</ttl>") << qint64(86400) << qint64(0);
        QTest::newRow("negative ttl ignored") << rssChannel("<ttl>-5</ttl>") << qint64(-1) << qint64(0);
        QTest::newRow("ttl that is no number ignored") << rssChannel("<ttl>soon</ttl>") << qint64(-1) << qint64(0);
        QTest::newRow("ttl 0 asks for nothing longer") << rssChannel("<ttl>0</ttl>") << qint64(0) << qint64(0);
        QTest::newRow("frequency 0 counts once") << rssChannel(sy("hourly", "0")) << qint64(3600) << qint64(0);
        QTest::newRow("frequency of 10^12: nothing longer")
            << rssChannel(sy("hourly", "1000000000000")) << qint64(0) << qint64(0);
        QTest::newRow("unknown period with a frequency: per day")
            << rssChannel(sy("fortnightly", "2")) << qint64(43200) << qint64(0);
        QTest::newRow("RSS 1.0 channel") << QByteArray(
            "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
            "xmlns:sy=\"http://purl.org/rss/1.0/modules/syndication/\"><channel>"
            "<sy:updatePeriod>hourly</sy:updatePeriod></channel></rdf:RDF>")
                                         << qint64(3600) << qint64(0);
        QTest::newRow("Atom, beside the entries")
            << QByteArray("<feed xmlns=\"http://www.w3.org/2005/Atom\" "
                          "xmlns:sy=\"http://purl.org/rss/1.0/modules/syndication/\">"
                          "<sy:updatePeriod>daily</sy:updatePeriod><sy:updateFrequency>3</sy:updateFrequency></feed>")
            << qint64(28800) << qint64(0);
        // Hour 24 is midnight in feeds that count from 1; 25 and words are no hours.
        QTest::newRow("skip hours and days")
            << rssChannel("<skipHours><hour>0</hour><hour>23</hour><hour>24</hour><hour>25</hour><hour>x</hour>"
                          "</skipHours><skipDays><day>Saturday</day><day>sunday</day><day>Funday</day></skipDays>")
            << qint64(-1) << ((qint64(1) << 0) | (qint64(1) << 23) | (qint64(1) << 29) | (qint64(1) << 30));
    }
    void scheduleHints()
    {
        QFETCH(QByteArray, document);
        QFETCH(qint64, hinted);
        QFETCH(qint64, skipTimes);
        parse(document);
        QCOMPARE(m_feed->hintedInterval(), hinted < 0 ? std::nullopt : std::optional<qint64>(hinted));
        QCOMPARE(m_feed->skipTimes(), skipTimes);
    }

    void knownIdentifiers_data()
    {
        QTest::addColumn<QString>("storedGuid");
        QTest::addColumn<bool>("detached");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("itemGuid");
        QTest::addColumn<bool>("stored");

        for (const bool saved : {false, true}) {
            const char *where = saved ? " (saved)" : " (unsaved)";
            QTest::addRow("same identifier%s", where) << "urn:x" << false << saved << "urn:x" << false;
            QTest::addRow("detached entry still counts%s", where) << "urn:x" << true << saved << "urn:x" << false;
            // Identifiers compare as plain text, whole and case-sensitively, never as patterns.
            QTest::addRow("asterisk is a plain character%s", where) << "a*" << false << saved << "abc" << true;
            QTest::addRow("lone asterisk matches nothing else%s", where) << "x" << false << saved << "*" << true;
            QTest::addRow("question mark is a plain character%s", where) << "ab" << false << saved << "a?" << true;
            QTest::addRow("case matters%s", where) << "ABC" << false << saved << "abc" << true;
            QTest::addRow("prefix is not a match%s", where) << "urn:x:1" << false << saved << "urn:x" << true;
        }
    }
    void knownIdentifiers()
    {
        QFETCH(QString, storedGuid);
        QFETCH(bool, detached);
        QFETCH(bool, saved);
        QFETCH(QString, itemGuid);
        QFETCH(bool, stored);

        // The stored entry belongs to another feed: identifiers are known across feeds.
        RSSFeed *other = RSSFeed::insert(m_store.context.get());
        RSSItem *known = RSSItem::insert(m_store.context.get());
        known->setGuid(storedGuid);
        other->addFeedEntry(known);
        if (detached) {
            other->removeFeedEntry(known);
        }
        if (saved) {
            QVERIFY2(m_store.context->save(), qPrintable(m_store.context->errorString()));
        }
        m_feed->setLastFetchDate(std::nullopt);
        parse(rssChannel(QStringLiteral("<item><guid>%1</guid></item>").arg(itemGuid)));
        QCOMPARE(m_feed->feedEntries().size(), stored ? 1 : 0);
    }

    void repeatedIdentifiers_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("firstPass");
        QTest::addColumn<bool>("lastFetchDatePresent");

        // RSS 1.0 identifies by dc:date: two items of the same minute are one entry.
        QTest::newRow("same dc:date twice") << "rss1-same-dc-date-twice.xml" << QStringList{"Morning news"} << false;
        QTest::newRow("identified by link")
            << "rss2-items-identified-by-link.xml" << QStringList{"Same title", "Same title", "Same title"} << false;
        QTest::newRow("identified by title")
            << "rss2-items-identified-by-title.xml" << QStringList{"Monday & more", "Tuesday"} << false;
        // Nothing tells these apart: one of them is kept, and only while every item is taken.
        QTest::newRow("unidentified, no last fetch date")
            << "rss2-items-without-identification.xml" << QStringList{absent} << false;
        QTest::newRow("unidentified, after a fetch")
            << "rss2-items-without-identification.xml" << QStringList() << true;
    }
    void repeatedIdentifiers()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, firstPass);
        QFETCH(bool, lastFetchDatePresent);

        const std::optional<QDateTime> lastFetchDate =
            lastFetchDatePresent ? std::optional<QDateTime>(distantPast()) : std::nullopt;
        // Neither the items of the document nor a second copy of it are stored twice.
        for (int pass = 0; pass < 2; ++pass) {
            m_feed->setLastFetchDate(lastFetchDate);
            parse(feedFile(file));
            QCOMPARE(titlesOf(m_feed->feedEntries()), firstPass);
            QVERIFY2(m_store.context->save(), qPrintable(m_store.context->errorString()));
        }
    }

    void hostileDocuments_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QStringList>("titles");

        QTest::newRow("billion laughs") << feedFile("billion-laughs.xml") << QStringList();
        QTest::newRow("external entity naming a local file")
            << feedFile("external-entity-local-file.xml") << QStringList{"Title "};
        QTest::newRow("truncated document") << feedFile("truncated-in-third-item.xml")
                                            << QStringList{"Complete one", "Complete two", "Cut in the middle"};
        // The parser's recovery joins the unclosed item with the next; the others stay whole.
        QTest::newRow("broken markup between items")
            << feedFile("broken-markup-between-items.xml")
            << QStringList{"Fish & Chips", "Unclosed boldurn:sloppy:2", "Last"};
        QTest::newRow("invalid UTF-8 in one item")
            << feedFile("invalid-utf8-in-one-item.xml") << QStringList{"Broken \uFFFD\uFFFD bytes", "Clean"};
        QTest::newRow("UTF-16 without byte order mark")
            << feedFile("utf16le-without-bom.xml") << QStringList{"Zwölf – one", "Two"};
        QTest::newRow("UTF-16 without byte order mark or declaration")
            << feedFile("utf16le-without-bom-or-declaration.xml") << QStringList();
        QTest::newRow("HTML page") << feedFile("html-error-page.html") << QStringList();
        QTest::newRow("hostile markup in descriptions")
            << feedFile("hostile-markup-in-descriptions.xml")
            << QStringList{"Style sheet import", "Local images", "Monospace"};

        QByteArray junk(1 << 20, '\0');
        QRandomGenerator random(20240501);
        random.fillRange(reinterpret_cast<quint32 *>(junk.data()), junk.size() / 4);
        QTest::newRow("binary junk") << junk << QStringList();

        const QByteArray deep = QByteArray("<div>").repeated(10000) + "core" + QByteArray("</div>").repeated(10000);
        QTest::newRow("10,000-deep nesting")
            << rssChannel(QStringLiteral("<item><title>Deep</title><guid>deep</guid><description>%1</description>"
                                         "</item>%2<item><title>After</title><guid>after</guid></item>")
                              .arg(QString::fromLatin1(deep), QString::fromLatin1(deep)))
            << QStringList{"Deep"};
        // The HTML reader would take minutes over tables nested this deep.
        const QString tables =
            QStringLiteral("&amp;lt;table&amp;gt;&amp;lt;tr&amp;gt;&amp;lt;td&amp;gt;").repeated(16000);
        QTest::newRow("doubly escaped tables nested 16,000 deep")
            << rssChannel(QStringLiteral("<item><title>Tables</title><guid>t</guid><description>%1cell</description>"
                                         "</item>")
                              .arg(tables))
            << QStringList{"Tables"};
    }
    void hostileDocuments()
    {
        QFETCH(QByteArray, document);
        QFETCH(QStringList, titles);

        m_feed->setLastFetchDate(std::nullopt);
        QElapsedTimer timer;
        timer.start();
        parse(document);
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
        QCOMPARE(titlesOf(m_feed->feedEntries()), titles);
        for (const RSSItem *entry : m_feed->feedEntries()) {
            for (const std::optional<QString> &value : {entry->title(), entry->text(), entry->url(), m_feed->name()}) {
                QVERIFY(!value || !value->contains(QLatin1String("root:")));
                QVERIFY(!value || value->size() < 1024 * 1024);
            }
        }
        QVERIFY2(m_store.context->save(), qPrintable(m_store.context->errorString()));
    }

    // Large documents cost time in proportion to their size, both with many ordinary entries
    // and with one entry's text made of markup for the HTML reader.
    void fiftyMegabyteDocuments_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("entries");

        QString items;
        const QString text =
            QStringLiteral("Lorem ipsum &amp;amp; dolor sit amet, &lt;a href=\"http://example.com/\"&gt;"
                           "consectetur&lt;/a&gt; adipiscing elit. ")
                .repeated(22);
        for (int i = 0; i < 20000; ++i) {
            items += QStringLiteral("<item><title>Entry %1</title><guid>urn:big:%1</guid><pubDate>Mon, 01 Jan 2024 "
                                    "10:00:00 GMT</pubDate><description>%2</description></item>")
                         .arg(i)
                         .arg(text);
        }
        QTest::newRow("20,000 ordinary entries") << rssChannel(items) << 20000;
        // 900 tags each: every text alone may go to the reader, all of them together may not.
        const QString markup = QStringLiteral("&amp;lt;p&amp;gt;x &amp;lt;b&amp;gt;y&amp;lt;/b&amp;gt; ").repeated(300);
        QString marked;
        for (int i = 0; i < 3400; ++i) {
            marked += QStringLiteral("<item><guid>urn:marked:%1</guid><description>%2</description></item>")
                          .arg(i)
                          .arg(markup);
        }
        QTest::newRow("3,400 entries of doubly escaped markup") << rssChannel(marked) << 3400;
    }
    void fiftyMegabyteDocuments()
    {
        QFETCH(QByteArray, document);
        QFETCH(int, entries);

        QVERIFY(document.size() > 45 * 1024 * 1024);
        m_feed->setLastFetchDate(std::nullopt);
        QElapsedTimer timer;
        timer.start();
        parse(document);
        qInfo("%d entries from %lld MB in %lld ms", int(m_feed->feedEntries().size()), qint64(document.size() >> 20),
              timer.elapsed());
        QCOMPARE(m_feed->feedEntries().size(), entries);
        QVERIFY2(timer.elapsed() < 60000, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    }
};

QTEST_MAIN(tst_Parsing)
#include "tst_parsing.moc"
