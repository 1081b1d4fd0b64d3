#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimeZone>

#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/SubLink.h"
#include "model/parsing/XmlDocument.h"
#include "platform/BrevlinFolders.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "store/ObjectContext.h"
#include "tests/fakes/RecordingOpener.h"
#include "tests/support/HtmlSamples.h"
#include "tests/support/StoreFixture.h"
#include "text/HtmlPlainText.h"

using namespace TestSupport;

namespace {

// The HTML reader, given every "<" that opens no tag (one before white space, a digit or the end)
// as a reference: left to itself it takes such a "<" and the text up to the next ">" for a tag.
QString reference(const QString &html)
{
    QString escaped;
    for (qsizetype i = 0; i < html.size(); ++i) {
        const bool isText =
            i + 1 == html.size() || html.at(i + 1).isSpace() || (html.at(i + 1) >= u'0' && html.at(i + 1) <= u'9');
        escaped += html.at(i) == u'<' && isText ? QStringLiteral("&lt;") : QString(html.at(i));
    }
    return QTextDocumentFragment::fromHtml(escaped).toPlainText();
}

} // namespace

// What an entry shows: its plain text, notification title and description, menu item,
// what opening it hands to the desktop, and the order of entries.
class tst_Presentation : public QObject
{
    Q_OBJECT

private:
    RSSFeed *feedWithGenerator(const QString &generator)
    {
        RSSFeed *feed = RSSFeed::insert(m_store.context.get());
        feed->setName(QStringLiteral("Feed"));
        if (!generator.isEmpty()) {
            const auto document = XmlDocument::fromData(
                QStringLiteral("<rss><channel><generator>%1</generator></channel></rss>").arg(generator).toUtf8());
            feed->parseDocument(document.get());
        }
        return feed;
    }
    RSSItem *entry(RSSFeed *feed, const std::optional<QString> &title, const std::optional<QString> &text = {})
    {
        RSSItem *item = RSSItem::insert(m_store.context.get());
        item->setTitle(title);
        item->setText(text);
        if (feed) {
            feed->addFeedEntry(item);
        }
        return item;
    }

    StoreFixture m_store;

private Q_SLOTS:
    void init() { QVERIFY2(m_store.setUp(StoreFixture::Store::InMemory), qPrintable(m_store.context->errorString())); }
    void cleanup() { m_store.tearDown(); }

    // The quick reading must give exactly what the HTML reader gives, or nothing.
    void plainTextMatchesTheReaderOnRandomText()
    {
        const char16_t alphabet[] = {u'a', u'Z', u'1',   u' ',   u' ',   u'\t',  u'\n',  u'\r', 0x0b,
                                     0x0c, 0xa0, 0x85,   0x2028, 0x2029, 0x3000, 0x202f, u'&',  u'&',
                                     u';', u'#', u'x',   u'm',   u'p',   u'l',   u't',   u'<',  u'>',
                                     u'/', 0x0,  0xfdd0, 0xfeff, 0xd83d, 0xde00, 0xfffc, u'"',  0xe9};
        QRandomGenerator random(1234);
        int decided = 0;
        for (int round = 0; round < 20000; ++round) {
            QString html;
            for (int i = int(random.bounded(24)); i > 0; --i) {
                html += QChar(alphabet[random.bounded(int(std::size(alphabet)))]);
            }
            if (const std::optional<QString> plain = plainTextWithoutMarkup(html)) {
                ++decided;
                QVERIFY2(
                    *plain == reference(html),
                    qPrintable(visible(html) + " gives " + visible(*plain) + ", reader " + visible(reference(html))));
            }
            QCOMPARE(plainTextFromHtml(html), reference(html));
        }
        QVERIFY2(decided > 5000, qPrintable(QString::number(decided)));
    }

    void plainTextMatchesTheReaderOnTheCorpus()
    {
        const QStringList texts = corpusEntryTexts();
        int decided = 0;
        for (const QString &text : texts) {
            const std::optional<QString> plain = plainTextWithoutMarkup(text);
            decided += plain ? 1 : 0;
            QVERIFY2(!plain || *plain == reference(text), qPrintable(visible(text)));
            QVERIFY2(plainTextFromHtml(text) == reference(text), qPrintable(visible(text)));
        }
        qInfo("%d of %lld corpus texts read without the HTML reader", decided, qlonglong(texts.size()));
        QVERIFY(texts.size() > 300);
    }

    // Elements the reader gives a fixed-pitch font reach it renamed (it could not name that
    // font without a GUI application object); the text must not change by it.
    void plainTextMatchesTheReaderOnRandomMarkup()
    {
        for (const QString &html : randomMarkup(20240501, 4000)) {
            QVERIFY2(plainTextFromHtml(html) == reference(html),
                     qPrintable(visible(html) + " gives " + visible(plainTextFromHtml(html)) + ", reader "
                                + visible(reference(html))));
        }
    }

    // Where the renaming shows: a style sheet that names a fixed-pitch element, and a stand-in
    // element (a lowest-level heading inside preformatted text, or emphasis, citation,
    // definition or variable markup inside code, keyboard, sample or teletype text) that the
    // renamed element's end tag no longer closes. Feeds seldom write either; the reading
    // stays the same in every program, which matters more.
    void fixedPitchRenamingShows_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");

        QTest::newRow("style sheet naming pre") << "<style>pre { white-space: normal }</style><pre>a  b</pre>"
                                                << "a  b";
        QTest::newRow("heading left open inside pre") << "<pre><h6>a</pre>  b"
                                                      << "a\n  b";
    }
    void fixedPitchRenamingShows()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);

        QCOMPARE(plainTextFromHtml(html), text);
        QVERIFY(reference(html) != text);
    }

    // Past its bounds the HTML reader is not asked: the text loses its tags instead, so
    // paragraphs no longer make lines.
    void readerBounds_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<int>("budget");
        QTest::addColumn<QString>("text");

        const QString paragraphs = QStringLiteral("<p>a</p>").repeated(500);
        const QString lines = QStringList(500, QStringLiteral("a")).join(u'\n');
        QTest::newRow("a text of 1,000 tags is read") << paragraphs << -1 << lines;
        QTest::newRow("a text of 1,001 tags is stripped")
            << paragraphs + "<br>" << -1 << QStringLiteral("a").repeated(500);
        QTest::newRow("a text within the budget is read") << "<p>x</p><p>y &amp;amp; z</p>" << 4 << "x\ny &amp; z";
        QTest::newRow("a text beyond the budget is stripped") << "<p>x</p><p>y &amp;amp; z</p>" << 3 << "xy &amp; z";
    }
    void readerBounds()
    {
        QFETCH(QString, html);
        QFETCH(int, budget);
        QFETCH(QString, text);

        std::optional<HtmlReaderBudget> readerBudget;
        if (budget >= 0) {
            readerBudget.emplace(budget);
        }
        QCOMPARE(plainTextFromHtml(html), text);
    }

    void setText_data()
    {
        QTest::addColumn<std::optional<QString>>("html");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<int>("subLinks");

        QTest::newRow("absent") << std::optional<QString>() << std::optional<QString>() << 0;
        QTest::newRow("empty") << std::optional<QString>("") << std::optional<QString>("") << 0;
        QTest::newRow("white space collapsed")
            << std::optional<QString>("  Fish \n\t and\u00a0chips  ") << std::optional<QString>("Fish and chips ") << 0;
        QTest::newRow("markup left over after the parser's stripping")
            << std::optional<QString>("<p>One</p><p>Two &amp; <b>three</b></p>")
            << std::optional<QString>("One\nTwo & three") << 0;
        QTest::newRow("paragraph breaks give lines, each scanned for links")
            << std::optional<QString>("<p>rdar://1 first</p><p>see http://example.com/ now</p>")
            << std::optional<QString>("rdar://1 first\nsee http://example.com/ now") << 2;
        QTest::newRow("style sheets are not read")
            << std::optional<QString>("<style>@import url(/dev/zero);</style>Shown") << std::optional<QString>("Shown")
            << 0;
    }
    void setText()
    {
        QFETCH(std::optional<QString>, html);
        QFETCH(std::optional<QString>, text);
        QFETCH(int, subLinks);

        RSSItem *item = entry(nullptr, QStringLiteral("t"), html);
        QCOMPARE(item->text(), text);
        QCOMPARE(int(item->subLinks().size()), subLinks);
    }

    void notificationTexts_data()
    {
        QTest::addColumn<QString>("generator");
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<std::optional<QString>>("author");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("brevlinTitle");
        QTest::addColumn<QString>("brevlinDescription");

        const std::optional<QString> noAuthor;
        const std::optional<QString> bob = QStringLiteral("bob");
        QTest::newRow("Trac with author")
            << "Trac 1.0" << std::optional<QString>("Changeset [42]: fix build") << bob << "x: y"
            << "Changeset [42]: bob"
            << "x: y";
        QTest::newRow("Trac without author")
            << "Trac 1.0" << std::optional<QString>("Changeset [42]: fix build") << noAuthor << "x"
            << "Changeset [42]"
            << "x";
        QTest::newRow("Trac title without colon")
            << "Trac 1.0" << std::optional<QString>("Ticket 7 closed") << bob << "x"
            << "Ticket 7 closed: bob"
            << "x";
        QTest::newRow("Trac keeps Revision in notifications")
            << "Trac 1.0" << std::optional<QString>("Revision 812: tidy code") << bob << "x"
            << "Revision 812: bob"
            << "x";
        QTest::newRow("Twitter cuts at the first colon and space")
            << "Twitter" << std::optional<QString>("alice: lunch at noon: yes") << noAuthor
            << "alice: lunch at noon: yes"
            << "Twitter: alice"
            << "lunch at noon: yes";
        QTest::newRow("Twitter colon without space")
            << "Twitter" << std::optional<QString>("alice:hi") << noAuthor << "alice:hi"
            << "Twitter: alice"
            << "alice:hi";
        QTest::newRow("Twitter title without colon")
            << "Twitter" << std::optional<QString>("news") << noAuthor << "news"
            << "Twitter: news"
            << "news";
        QTest::newRow("plain feed unchanged") << "" << std::optional<QString>("a: b: c") << bob << "d: e"
                                              << "a: b: c"
                                              << "d: e";
        QTest::newRow("Trac before Twitter")
            << "Trac on Twitter" << std::optional<QString>("a: b") << noAuthor << "c: d"
            << "a"
            << "d";
        // An untitled entry shows its address, whole.
        QTest::newRow("untitled") << "Trac" << std::optional<QString>() << noAuthor << ""
                                  << "http://example.com/x"
                                  << "";
    }
    void notificationTexts()
    {
        QFETCH(QString, generator);
        QFETCH(std::optional<QString>, title);
        QFETCH(std::optional<QString>, author);
        QFETCH(QString, text);
        QFETCH(QString, brevlinTitle);
        QFETCH(QString, brevlinDescription);

        RSSItem *item = entry(feedWithGenerator(generator), title, text);
        item->setAuthor(author);
        item->setUrl(QStringLiteral("http://example.com/x"));
        QCOMPARE(item->brevlinTitle(), brevlinTitle);
        QCOMPARE(item->brevlinDescription(), brevlinDescription);
    }

    void menuItem_data()
    {
        QTest::addColumn<QString>("generator");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("subLinksInMenu");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("menuTitle");
        QTest::addColumn<QStringList>("submenu");

        QTest::newRow("Trac drops the first Revision") << "Trac"
                                                       << "Revision 812: Revision tidy" << true << ""
                                                       << "812: Revision tidy" << QStringList();
        QTest::newRow("other feeds keep Revision") << ""
                                                   << "Revision 812: tidy code" << true << ""
                                                   << "Revision 812: tidy code" << QStringList();
        // Qt's mnemonic escaping is the menu's business; the item keeps what the user reads.
        QTest::newRow("ampersand as written") << ""
                                              << "Q&A" << true << ""
                                              << "Q&A" << QStringList();
        QTest::newRow("sub-links in a submenu")
            << ""
            << "Fixes" << true << "Fixed <rdar://471> Crash\nsee http://example.com/x now"
            << "Fixes" << QStringList{"<rdar://471> Crash\n", "<http://example.com/x>"};
        QTest::newRow("sub-links switched off") << ""
                                                << "Fixes" << false << "rdar://471 Crash"
                                                << "Fixes" << QStringList();
    }
    void menuItem()
    {
        QFETCH(QString, generator);
        QFETCH(QString, title);
        QFETCH(bool, subLinksInMenu);
        QFETCH(QString, text);
        QFETCH(QString, menuTitle);
        QFETCH(QStringList, submenu);

        setPreference(Preferences::enableSubLinksInMenu, subLinksInMenu);
        RSSItem *item = entry(feedWithGenerator(generator), title);
        item->createSubLinksFromString(text);
        const MenuItem menuItem = item->menuItem();
        QCOMPARE(menuItem.title, menuTitle);
        QCOMPARE(menuItem.action, QStringLiteral("openFeed"));
        QCOMPARE(menuItem.target, item);
        QCOMPARE(bool(menuItem.submenu), !submenu.isEmpty());
        if (menuItem.submenu) {
            QCOMPARE(menuItem.submenu->title, menuTitle);
            QStringList titles;
            for (const MenuItem &subItem : menuItem.submenu->items) {
                titles.append(subItem.title);
            }
            QCOMPARE(titles, submenu);
        }
    }

    void openFeed_data()
    {
        QTest::addColumn<QString>("cache");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("opened");

        // Cached pages: "ours" is a file in the cache folder, "gone" was deleted, "outside" lies elsewhere,
        // "link" is a symbolic link in the cache folder to a file elsewhere.
        QTest::newRow("cached page") << "ours"
                                     << "http://example.com/a"
                                     << "ours";
        QTest::newRow("deleted cached page opens the address") << "gone"
                                                               << "http://example.com/a"
                                                               << "http://example.com/a";
        QTest::newRow("path outside the cache") << "outside"
                                                << "http://example.com/a"
                                                << "http://example.com/a";
        QTest::newRow("link out of the cache") << "link"
                                               << "https://example.com/b"
                                               << "https://example.com/b";
        QTest::newRow("web address") << ""
                                     << "https://example.com/b?q=1&r=2"
                                     << "https://example.com/b?q=1&r=2";
        QTest::newRow("script address") << ""
                                        << "javascript:alert(1)"
                                        << "";
        QTest::newRow("local file address") << ""
                                            << "file:///etc/passwd"
                                            << "";
        QTest::newRow("data address") << ""
                                      << "data:text/html,<b>x</b>"
                                      << "";
        QTest::newRow("address of another program") << ""
                                                    << "steam://run/1"
                                                    << "";
        QTest::newRow("relative address") << ""
                                          << "/entry/1"
                                          << "";
        QTest::newRow("no address") << ""
                                    << ""
                                    << "";
    }
    void openFeed()
    {
        QFETCH(QString, cache);
        QFETCH(QString, url);
        QFETCH(QString, opened);

        const QString folder = BrevlinFolders::cachesFolder();
        QVERIFY(folder.startsWith(m_store.home->cacheHome()));
        QVERIFY(QDir().mkpath(folder));
        const QString ours = folder + QStringLiteral("/4F1B2D4C-0000-4000-8000-000000000001.mhtml");
        const QString outside = m_store.home->path() + QStringLiteral("/elsewhere.mhtml");
        for (const QString &path : {ours, outside}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const QString link = folder + QStringLiteral("/link.mhtml");
        QVERIFY(QFile::link(outside, link));
        const QHash<QString, QString> paths{{QStringLiteral("ours"), ours},
                                            {QStringLiteral("gone"), folder + QStringLiteral("/gone.mhtml")},
                                            {QStringLiteral("outside"), outside},
                                            {QStringLiteral("link"), link}};

        RSSItem *item = entry(nullptr, QStringLiteral("t"));
        if (!cache.isEmpty()) {
            item->setCachedPath(paths.value(cache));
        }
        item->setUrl(url.isEmpty() ? std::nullopt : std::optional<QString>(url));
        RecordingOpener opener;
        item->menuItem().perform();
        const QList<QUrl> expected = opened.isEmpty() ? QList<QUrl>()
            : paths.contains(opened)                  ? QList<QUrl>{QUrl::fromLocalFile(paths.value(opened))}
                                                      : QList<QUrl>{QUrl(opened)};
        QCOMPARE(opener.opened, expected);
    }

    void dateCompareSortsNewestFirst()
    {
        const auto dated = [this](int day) {
            RSSItem *item = entry(nullptr, QStringLiteral("%1 May").arg(day));
            item->setDate(QDateTime(QDate(2024, 5, day), QTime(12, 0), QTimeZone::utc()));
            return item;
        };
        QList<RSSItem *> items{dated(1), entry(nullptr, QStringLiteral("undated")), dated(3), dated(2)};
        std::sort(items.begin(), items.end(),
                  [](const RSSItem *a, const RSSItem *b) { return a->dateCompare(*b) < 0; });
        QStringList titles;
        for (const RSSItem *item : items) {
            titles.append(*item->title());
        }
        QCOMPARE(titles, (QStringList{"3 May", "2 May", "1 May", "undated"}));
    }
};

QTEST_MAIN(tst_Presentation)
#include "tst_presentation.moc"
