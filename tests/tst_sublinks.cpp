#include <QTest>

#include "model/RSSItem.h"
#include "model/SubLink.h"
#include "store/ObjectContext.h"
#include "tests/fakes/RecordingOpener.h"

namespace {

// "link | text" with invisible characters spelt out; a web link has no text at all.
QString described(const SubLink &subLink)
{
    QString text = subLink.text() ? *subLink.text() : QStringLiteral("<absent>");
    text.replace(u'\n', QStringLiteral("<LF>"))
        .replace(u'\r', QStringLiteral("<CR>"))
        .replace(QChar(0x85), QStringLiteral("<NEL>"))
        .replace(QChar::LineSeparator, QStringLiteral("<LS>"))
        .replace(QChar::ParagraphSeparator, QStringLiteral("<PS>"))
        .replace(u'\t', QStringLiteral("<TAB>"));
    QString link = subLink.link().value_or(QString());
    link.replace(u'\t', QStringLiteral("<TAB>"));
    return link + QStringLiteral(" | ") + text;
}

} // namespace

// Links found in an entry's text: one per line and kind, their menu items and opening.
class tst_SubLinks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scanning_data()
    {
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<QStringList>("subLinks");

        const auto row = [](const char *name, const QString &text, const QStringList &subLinks) {
            QTest::newRow(name) << std::optional<QString>(text) << subLinks;
        };
        QTest::newRow("absent text") << std::optional<QString>() << QStringList();
        row("bracketed rdar link and the rest of its line", "Fixed <rdar://471> Crash on launch\nnext",
            {"rdar://471 | Crash on launch<LF>"});
        row("bare rdar link", "see rdar://471 and more", {"rdar://471 | and more"});
        row("bare rdar link at the end", "see rdar://471", {"rdar://471 | "});
        row("bare rdar link and a space at the end", "see rdar://471 ", {"rdar://471 | "});
        row("bracketed rdar link alone", "<rdar://471>", {"rdar://471 | "});
        row("bracketed rdar link alone before LF", "<rdar://471>\nx", {"rdar://471 | "});
        row("bracketed rdar link alone before CR LF", "<rdar://471>\r\nx", {"rdar://471 | "});
        row("bracket never closed", "<rdar://9 rest\nx", {"rdar://9 rest | "});
        row("second bare link on a line is ignored", "rdar://1 rdar://2", {"rdar://1 | rdar://2"});
        row("bracketed link wins over an earlier bare one", "rdar://1 <rdar://2> B", {"rdar://2 | B"});
        row("the same link on two lines", "rdar://5 a\nrdar://5 b", {"rdar://5 | a<LF>", "rdar://5 | b"});
        row("a tab does not end a bare link", "rdar://1\tx y", {"rdar://1<TAB>x | y"});
        row("bare web link", "read http://example.com/x now", {"http://example.com/x | <absent>"});
        row("bracketed web link", "read <http://example.com/x> now", {"http://example.com/x | <absent>"});
        row("markers are exact", "https://a.example/ HTTP://b.example/ RDAR://1", {});
        // Issue references come first, then web links.
        row("both kinds on one line", "http://x.example/ rdar://1 y", {"rdar://1 | y", "http://x.example/ | <absent>"});
        row("CR ends a line", "rdar://1 a\rrdar://2 b", {"rdar://1 | a<CR>", "rdar://2 | b"});
        row("CR LF is one line break", "rdar://1 a\r\nrdar://2 b", {"rdar://1 | a<CR><LF>", "rdar://2 | b"});
        row("NEL ends a line", "rdar://1 a\u0085rdar://2 b", {"rdar://1 | a<NEL>", "rdar://2 | b"});
        row("line separator ends a line", "rdar://1 a\u2028rdar://2 b", {"rdar://1 | a<LS>", "rdar://2 | b"});
        row("paragraph separator ends a line", "rdar://1 a\u2029rdar://2 b", {"rdar://1 | a<PS>", "rdar://2 | b"});
        row("empty lines between links", "\n\nrdar://1 a\n\n\nhttp://e.example/\n",
            {"rdar://1 | a<LF>", "http://e.example/ | <absent>"});
    }
    void scanning()
    {
        QFETCH(std::optional<QString>, text);
        QFETCH(QStringList, subLinks);

        ObjectContext context;
        RSSItem *item = RSSItem::insert(&context);
        item->createSubLinksFromString(text);
        QStringList found;
        for (const auto &subLink : item->subLinks()) {
            QCOMPARE(subLink->owner(), item);
            found.append(described(*subLink));
        }
        QCOMPARE(found, subLinks);
    }

    void menuItem_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("opens");

        QTest::newRow("issue reference with text")
            << "rdar://471" << std::optional<QString>("Crash") << "<rdar://471> Crash" << true;
        QTest::newRow("issue reference with empty text")
            << "rdar://471" << std::optional<QString>("") << "<rdar://471> " << true;
        QTest::newRow("web link") << "http://example.com/a%20b" << std::optional<QString>()
                                  << "<http://example.com/a%20b>" << true;
        QTest::newRow("web link without host") << "http://" << std::optional<QString>() << "<http://>" << false;
        // Only the two scanned kinds are ever opened, whatever a stored sub-link holds.
        QTest::newRow("script link") << "javascript:alert(1)" << std::optional<QString>() << "<javascript:alert(1)>"
                                     << false;
        QTest::newRow("local file link") << "file:///etc/passwd" << std::optional<QString>() << "<file:///etc/passwd>"
                                         << false;
    }
    void menuItem()
    {
        QFETCH(QString, link);
        QFETCH(std::optional<QString>, text);
        QFETCH(QString, title);
        QFETCH(bool, opens);

        ObjectContext context;
        std::unique_ptr<SubLink> subLink = std::make_unique<SubLink>(&context);
        subLink->setLink(link);
        subLink->setText(text);
        const MenuItem item = subLink->subLinkMenuItem();
        QCOMPARE(item.title, title);
        QCOMPARE(item.action, QStringLiteral("openLink"));
        QCOMPARE(item.target, subLink.get());
        RecordingOpener opener;
        item.perform();
        QCOMPARE(opener.opened, opens ? QList<QUrl>{QUrl(link)} : QList<QUrl>());
    }
};

QTEST_GUILESS_MAIN(tst_SubLinks)
#include "tst_sublinks.moc"
