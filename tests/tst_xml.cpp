#include "model/parsing/XmlDocument.h"

#include "support/TestSupport.h"

#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

namespace {

std::unique_ptr<XmlDocument> parse(const QByteArray &data, QString *error = nullptr)
{
    return XmlDocument::fromData(data, error);
}

XmlNode child(XmlNode parent, const char *name, int skip = 0)
{
    for (XmlNode node : parent.children()) {
        if (node.hasName(name) && skip-- == 0) {
            return node;
        }
    }
    return XmlNode();
}

int countChildren(XmlNode parent, const char *name)
{
    int count = 0;
    for (XmlNode node : parent.children()) {
        count += node.hasName(name) ? 1 : 0;
    }
    return count;
}

// Every string value and every attribute the tree hands out, joined, for leak checks.
QString everything(XmlNode node)
{
    QString text = node.stringValue();
    for (const char *attribute : {"href", "a"}) {
        text += node.attribute(attribute).value_or(QString());
    }
    for (XmlNode each : node.children()) {
        text += everything(each);
    }
    return text;
}

QByteArray utf16(const QString &text, QSysInfo::Endian order, bool withBom)
{
    QByteArray bytes;
    const auto put = [&](char16_t unit) {
        const char high = char(unit >> 8), low = char(unit & 0xff);
        bytes.append(order == QSysInfo::BigEndian ? high : low);
        bytes.append(order == QSysInfo::BigEndian ? low : high);
    };
    if (withBom) {
        put(0xfeff);
    }
    for (QChar c : text) {
        put(c.unicode());
    }
    return bytes;
}

} // namespace

namespace QTest {
template<> char *toString(const std::optional<QString> &value)
{
    return value ? QTest::toString(*value) : qstrdup("(no value)");
}
} // namespace QTest

class tst_Xml : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void names_data();
    void names();
    void nonElementsHaveNoName();
    void childrenBothWays();
    void nullHandlesAreSafe();
    void stringValue_data();
    void stringValue();
    void attributes_data();
    void attributes();
    void encodings_data();
    void encodings();
    void noDocument_data();
    void noDocument();
    void corpusEntities();
    void corpusDocumentsBuild();
    void billionLaughsIsBounded();
    void repeatedEntityIsBounded();
    void malformedEntityStopsTheParse();
    void externalEntitiesAreNotRead();
    void deepNestingIsCut();
    void truncatedDocumentKeepsCompleteItems();
    void htmlPageGivesHtmlRoot();
    void invalidUtf8KeepsTheRest();
    void binaryJunkDoesNotCrash();
    void largeDocument();
};

void tst_Xml::names_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("names"); // root first, then the root's element children

    QTest::newRow("plain") << QByteArray("<rss><channel/><item/></rss>") << QStringList{"rss", "channel", "item"};
    QTest::newRow("declared prefix kept")
        << QByteArray("<rdf:RDF xmlns:rdf='r' xmlns:dc='d'><dc:date/><item/></rdf:RDF>")
        << QStringList{"rdf:RDF", "dc:date", "item"};
    QTest::newRow("undeclared prefix kept as written")
        << QByteArray("<rss><dc:date/><content:encoded/></rss>") << QStringList{"rss", "dc:date", "content:encoded"};
    QTest::newRow("default namespace gives no prefix")
        << QByteArray("<feed xmlns='http://www.w3.org/2005/Atom'><entry/></feed>") << QStringList{"feed", "entry"};
    QTest::newRow("prefixed root stays prefixed")
        << QByteArray("<atom:feed xmlns:atom='http://www.w3.org/2005/Atom'><atom:entry/></atom:feed>")
        << QStringList{"atom:feed", "atom:entry"};
    QTest::newRow("non-ASCII name") << QByteArray("<r><f\xc3\xa9\x65/></r>") << QStringList{"r", u"f\u00e9e"_qs};
}

void tst_Xml::names()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, names);

    const auto document = parse(xml);
    QVERIFY(document);
    QStringList found{document->rootElement().name()};
    for (XmlNode node : document->rootElement().children()) {
        if (node.isElement()) {
            found << node.name();
        }
    }
    QCOMPARE(found, names);

    const XmlNode last = document->rootElement().lastChild();
    const QString lastName = names.constLast();
    QVERIFY(last.hasName(QLatin1StringView(lastName.toLatin1())));
    QVERIFY(!last.hasName(QLatin1StringView(lastName.toLatin1().chopped(1))));
    QVERIFY(!last.hasName(QLatin1StringView(lastName.toLatin1() + "x")));
    const qsizetype colon = lastName.indexOf(QLatin1Char(':'));
    if (colon > 0) {
        QVERIFY2(!last.hasName(QLatin1StringView(lastName.mid(colon + 1).toLatin1())), "a prefix is part of the name");
    }
}

void tst_Xml::nonElementsHaveNoName()
{
    const auto document = parse("<r>text<!--note--><?pi data?><![CDATA[raw]]></r>");
    QVERIFY(document);
    int count = 0;
    for (XmlNode node : document->rootElement().children()) {
        ++count;
        QVERIFY(!node.isElement());
        QCOMPARE(node.name(), QString());
        QVERIFY(!node.hasName(""));
        QVERIFY(!node.hasName("text"));
        QVERIFY(!node.hasName("comment"));
        QVERIFY(!node.attribute("href"));
    }
    QCOMPARE(count, 4);
}

void tst_Xml::childrenBothWays()
{
    const auto document = parse("<r><a/>1<b/><!--2--><c/></r>");
    QVERIFY(document);
    QStringList forwards;
    for (XmlNode node = document->rootElement().firstChild(); !node.isNull(); node = node.nextSibling()) {
        forwards << (node.isElement() ? node.name() : node.stringValue());
    }
    QStringList backwards;
    for (XmlNode node = document->rootElement().lastChild(); !node.isNull(); node = node.previousSibling()) {
        backwards.prepend(node.isElement() ? node.name() : node.stringValue());
    }
    QCOMPARE(forwards, (QStringList{"a", "1", "b", "2", "c"}));
    QCOMPARE(backwards, forwards);
}

void tst_Xml::nullHandlesAreSafe()
{
    const XmlNode null;
    QVERIFY(null.isNull());
    QVERIFY(!null.isElement());
    QVERIFY(null.firstChild().isNull() && null.lastChild().isNull());
    QVERIFY(null.nextSibling().isNull() && null.previousSibling().isNull());
    QVERIFY(null.stringValue().isNull());
    QVERIFY(!null.attribute("href"));
    QVERIFY(null.children().begin() == null.children().end());

    const auto document = parse("<r/>");
    QVERIFY(document->rootElement().firstChild().isNull());
    QVERIFY(document->rootElement().nextSibling().isNull());
}

void tst_Xml::stringValue_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("value"); // of the root element

    QTest::newRow("empty element is empty, not absent") << QByteArray("<r/>") << QString("");
    QTest::newRow("white space and line breaks kept") << QByteArray("<r>\n  a \t b\n</r>") << QString("\n  a \t b\n");
    QTest::newRow("descendants in document order") << QByteArray("<r>a<x>b<y>c</y></x>d<z/>e</r>") << QString("abcde");
    QTest::newRow("character data included, comments and instructions not")
        << QByteArray("<r>a<![CDATA[<b>&amp;</b>]]><!--c--><?p q?>d</r>") << QString("a<b>&amp;</b>d");
    QTest::newRow("XML entities and character references")
        << QByteArray("<r>&lt;p&gt; AT&amp;T &quot;&apos; &#233;&#x20AC;</r>") << u"<p> AT&T \"' \u00e9\u20ac"_qs;
    QTest::newRow("HTML entity names read as HTML")
        << QByteArray("<r>caf&eacute;&nbsp;&mdash;&Eacute;</r>") << u"caf\u00e9\u00a0\u2014\u00c9"_qs;
    QTest::newRow("unknown entity stays as written") << QByteArray("<r>a &bogus; b</r>") << QString("a &bogus; b");
    QTest::newRow("unknown entity in text after the same in an attribute")
        << QByteArray("<r><a t='&bogus;'/>a &bogus; b</r>") << QString("a &bogus; b");
    QTest::newRow("declared entities expanded")
        << QByteArray("<!DOCTYPE r [<!ENTITY a 'x&amp;y'><!ENTITY b '[&a;&a;]'>]><r>1&a;2&b;3</r>")
        << QString("1x&y2[x&yx&y]3");
    QTest::newRow("declared entity with markup gives its text")
        << QByteArray("<!DOCTYPE r [<!ENTITY e '<b>bold</b> text'>]><r>&e;</r>") << QString("bold text");
    // libxml2 on its own drops "&amp;" and "&lt;" everywhere after its first error.
    QTest::newRow("references after a repaired error still read")
        << QByteArray("<r><a>x</b> AT&amp;T &lt;p&gt;</a></r>") << QString("x AT&T <p>");
    QTest::newRow("bare ampersands kept")
        << QByteArray("<r>http://e/?a=1&b=2&c Q & A &#12 &amp;</r>") << QString("http://e/?a=1&b=2&c Q & A &#12 &");
    QTest::newRow("ampersands in character data and comments untouched")
        << QByteArray("<r><![CDATA[a & b &amp;]]><!-- & -->&lt;</r>") << QString("a & b &amp;<");
}

void tst_Xml::stringValue()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, value);

    const auto document = parse(xml);
    QVERIFY(document);
    const QString found = document->rootElement().stringValue();
    QCOMPARE(found, value);
    QVERIFY(!found.isNull());
}

void tst_Xml::attributes_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("name");
    QTest::addColumn<std::optional<QString>>("value");

    const QByteArray link("<link rel='alternate' href='http://a/?x=1&amp;y=2' title='' xml:lang='en'/>");
    QTest::newRow("present") << link << "href" << std::optional<QString>("http://a/?x=1&y=2");
    QTest::newRow("absent") << link << "type" << std::optional<QString>();
    QTest::newRow("empty is present") << link << "title" << std::optional<QString>("");
    QTest::newRow("prefixed by its qualified name") << link << "xml:lang" << std::optional<QString>("en");
    QTest::newRow("prefixed not by its local name") << link << "lang" << std::optional<QString>();
    QTest::newRow("HTML entity") << QByteArray("<a t='caf&eacute;&nbsp;'/>") << "t"
                                 << std::optional<QString>(u"caf\u00e9\u00a0"_qs);
    QTest::newRow("bare ampersand") << QByteArray("<a t='?a=1&b=2'/>") << "t" << std::optional<QString>("?a=1&b=2");
    QTest::newRow("unknown entity") << QByteArray("<a t='x&bogus;y'/>") << "t" << std::optional<QString>("x&bogus;y");
    QTest::newRow("declared entity") << QByteArray("<!DOCTYPE a [<!ENTITY h 'http://e/'>]><a href='&h;x'/>") << "href"
                                     << std::optional<QString>("http://e/x");
}

void tst_Xml::attributes()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, name);
    QFETCH(std::optional<QString>, value);

    const auto document = parse(xml);
    QVERIFY(document);
    QCOMPARE(document->rootElement().attribute(QLatin1StringView(name.toLatin1())), value);
}

void tst_Xml::encodings_data()
{
    QTest::addColumn<QByteArray>("xml");

    const QString title = u"caf\u00e9 \u20ac \u00ab\u00bb"_qs;
    const QString document = "<rss><title>" + title + "</title></rss>";
    QTest::newRow("UTF-8 undeclared") << document.toUtf8();
    QTest::newRow("UTF-8 with byte order mark") << QByteArray("\xef\xbb\xbf") + document.toUtf8();
    QTest::newRow("windows-1252") << QByteArray("<?xml version='1.0' encoding='windows-1252'?>"
                                                "<rss><title>caf\xe9 \x80 \xab\xbb</title></rss>");
    QTest::newRow("ISO-8859-15") << QByteArray("<?xml version='1.0' encoding='ISO-8859-15'?>"
                                               "<rss><title>caf\xe9 \xa4 \xab\xbb</title></rss>");
    const QString declared = "<?xml version='1.0' encoding='UTF-16'?>" + document;
    QTest::newRow("UTF-16 little-endian with mark") << utf16(declared, QSysInfo::LittleEndian, true);
    QTest::newRow("UTF-16 big-endian with mark") << utf16(declared, QSysInfo::BigEndian, true);
    QTest::newRow("UTF-16 little-endian without mark") << utf16(declared, QSysInfo::LittleEndian, false);
    QTest::newRow("UTF-16 big-endian without mark") << utf16(declared, QSysInfo::BigEndian, false);
}

void tst_Xml::encodings()
{
    QFETCH(QByteArray, xml);

    QString error;
    const auto document = parse(xml, &error);
    QVERIFY2(document, qPrintable(error));
    QCOMPARE(child(document->rootElement(), "title").stringValue(), u"caf\u00e9 \u20ac \u00ab\u00bb"_qs);
}

void tst_Xml::noDocument_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("error");

    QTest::newRow("empty") << QByteArray() << "Document is empty";
    QTest::newRow("white space only") << QByteArray(" \n\t ") << "Start tag expected, '<' not found";
    QTest::newRow("plain text") << QByteArray("Service Unavailable") << "Start tag expected, '<' not found";
    QTest::newRow("unknown encoding") << QByteArray("<?xml version='1.0' encoding='bogus'?><rss/>")
                                      << "Unsupported encoding bogus";
}

void tst_Xml::noDocument()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, error);

    QString found = "untouched";
    QVERIFY(!parse(data, &found));
    QCOMPARE(found, error);

    found = "untouched";
    QVERIFY(parse("<rss>unclosed", &found));
    QCOMPARE(found, QString("untouched"));
}

// Third-party expectations: feedparser's entity tests name the text each title must give.
void tst_Xml::corpusEntities()
{
    static const QRegularExpression expectation(R"(feed\['title'\] == '(.*)')");
    static const QRegularExpression escape(R"(\\(x[0-9a-f]{2}|u[0-9a-f]{4}))");
    QDirIterator files(TestSupport::corpusPath("feeds/feedparser-entities"), {"*.xml"});
    int checked = 0;
    while (files.hasNext()) {
        const QByteArray data = TestSupport::fileBytes(files.next());
        const QRegularExpressionMatch match = expectation.match(QString::fromUtf8(data));
        if (!match.hasMatch()) {
            continue;
        }
        QString expected = match.captured(1);
        for (QRegularExpressionMatch e = escape.match(expected); e.hasMatch(); e = escape.match(expected)) {
            expected.replace(e.capturedStart(), e.capturedLength(), QChar(e.captured(1).mid(1).toUShort(nullptr, 16)));
        }
        const auto document = parse(data);
        QVERIFY2(document, qPrintable(files.fileName()));
        const XmlNode channel = child(document->rootElement(), "channel");
        QCOMPARE(child(channel, "title").stringValue(), expected);
        ++checked;
    }
    QCOMPARE(checked, 27);
}

// libxml2 recovers a tree from all corpus feeds but four, and one more holds only a comment.
void tst_Xml::corpusDocumentsBuild()
{
    const QStringList unreadable{"feedparser-illformed/rss_empty_document.xml", "newsboat/empty.xml",
                                 "feedparser-encoding/bozo_bogus_encoding.xml", "feedparser-encoding/u16.xml",
                                 "feedparser-encoding/utf-32be-bom.xml"};
    QDirIterator files(TestSupport::corpusPath("feeds"), {"*.xml"}, QDir::Files, QDirIterator::Subdirectories);
    int built = 0;
    while (files.hasNext()) {
        const QString path = files.next();
        QString error;
        const auto document = parse(TestSupport::fileBytes(path), &error);
        const QString name = QFileInfo(path).dir().dirName() + "/" + files.fileName();
        QVERIFY2(bool(document) != unreadable.contains(name), qPrintable(name + ": " + error));
        QVERIFY2(document || !error.isEmpty(), qPrintable(path));
        built += document ? 1 : 0;
    }
    QCOMPARE(built, 385); // of 390 files named *.xml
}

// libxml2 stops at the first reference that would expand exponentially; nothing past it is
// read, and what was read stays small.
void tst_Xml::billionLaughsIsBounded()
{
    const auto document = parse(TestSupport::fileBytes(TestSupport::testDataPath("xml/billion-laughs.xml")));
    QVERIFY(document);
    const XmlNode channel = child(document->rootElement(), "channel");
    QCOMPARE(child(channel, "title").stringValue(), QString("laughs"));
    QVERIFY(everything(document->rootElement()).size() < 100'000);
}

// One entity used many times passes libxml2's own check; the text it adds stays bounded.
void tst_Xml::repeatedEntityIsBounded()
{
    const QByteArray entity(100'000, 'A');
    QByteArray xml = "<!DOCTYPE r [<!ENTITY big '" + entity + "'>]><r><t>";
    for (int i = 0; i < 10'000; ++i) {
        xml += "&big;";
    }
    xml += "</t><end>kept</end></r>";

    const auto document = parse(xml);
    QVERIFY(document);
    const QString text = child(document->rootElement(), "t").stringValue();
    QVERIFY(text.startsWith(QString(entity)));
    QVERIFY(text.size() <= 1024 * 1024);
    QCOMPARE(child(document->rootElement(), "end").stringValue(), QString("kept"));
}

// Found by fuzzing: one broken reference inside a nested entity made libxml2 parse the
// entity again at every use, and this 1 KB document ran for hours. It now ends at once.
void tst_Xml::malformedEntityStopsTheParse()
{
    QString error;
    const auto document = XmlDocument::fromData(
        TestSupport::fileBytes(TestSupport::testDataPath("xml/malformed-entity-reparsed-at-every-reference.xml")),
        &error);
    if (document) {
        QCOMPARE(document->rootElement().name(), QString("rss"));
        QVERIFY(everything(document->rootElement()).size() < 1024 * 1024);
    } else {
        QVERIFY(!error.isEmpty());
    }
}

void tst_Xml::externalEntitiesAreNotRead()
{
    QFile passwd("/etc/passwd");
    QVERIFY(passwd.open(QIODevice::ReadOnly));
    const QString firstLine = QString::fromUtf8(passwd.readLine()).trimmed();
    QVERIFY(!firstLine.isEmpty());

    const auto document = parse(TestSupport::fileBytes(TestSupport::testDataPath("xml/external-entity.xml")));
    QVERIFY(document);
    const QString text = everything(document->rootElement());
    QVERIFY2(!text.contains(firstLine) && !text.contains("root:"), qPrintable(text));
    const XmlNode channel = child(document->rootElement(), "channel");
    QCOMPARE(child(channel, "title").stringValue(), QString("before  after"));
    QCOMPARE(child(child(channel, "item"), "link").attribute("href"), std::optional<QString>(""));
}

// Without the "huge" option libxml2 stops at depth 256; what was read stays usable.
void tst_Xml::deepNestingIsCut()
{
    constexpr int depth = 10'000;
    const QByteArray xml = QByteArray("<d>").repeated(depth) + "deep" + QByteArray("</d>").repeated(depth);
    QString error;
    const auto document = parse(xml, &error);
    QVERIFY(document);
    int levels = 0;
    for (XmlNode node = document->rootElement(); !node.isNull(); node = node.firstChild()) {
        ++levels;
    }
    QVERIFY(levels > 100 && levels <= 300);
    QCOMPARE(document->rootElement().stringValue(), QString(""));
}

void tst_Xml::truncatedDocumentKeepsCompleteItems()
{
    const auto document = parse(TestSupport::fileBytes(TestSupport::testDataPath("xml/truncated.xml")));
    QVERIFY(document);
    const XmlNode channel = child(document->rootElement(), "channel");
    QCOMPARE(countChildren(channel, "item"), 3);
    QCOMPARE(child(child(channel, "item", 0), "title").stringValue(), QString("First"));
    QCOMPARE(child(child(channel, "item", 1), "title").stringValue(), QString("Second"));
    QCOMPARE(child(child(channel, "item", 2), "title").stringValue(), QString("Thi"));
}

void tst_Xml::htmlPageGivesHtmlRoot()
{
    const auto document = parse(TestSupport::fileBytes(TestSupport::testDataPath("xml/html-page.html")));
    QVERIFY(document);
    QVERIFY(document->rootElement().hasName("html"));
    QCOMPARE(child(child(document->rootElement(), "head"), "title").stringValue(), QString("404 Not Found"));
}

// libxml2 reads the rest as Latin-1 after the first bad byte; the bad byte shows as U+FFFD.
void tst_Xml::invalidUtf8KeepsTheRest()
{
    const auto document = parse("<r><a>caf\xe9 ok</a><b>na\xc3\xafve \xe2\x82\xac</b><c>\xff\xfe</c></r>");
    QVERIFY(document);
    QCOMPARE(child(document->rootElement(), "a").stringValue(), u"caf\ufffd ok"_qs);
    QCOMPARE(child(document->rootElement(), "b").stringValue(), u"na\u00efve \u20ac"_qs);
    QVERIFY(!child(document->rootElement(), "c").isNull());
}

void tst_Xml::binaryJunkDoesNotCrash()
{
    QRandomGenerator random(20240601);
    for (int round = 0; round < 200; ++round) {
        QByteArray junk(int(random.bounded(1, 4096)), Qt::Uninitialized);
        for (char &byte : junk) {
            byte = char(random.bounded(256));
        }
        if (round % 2) {
            junk.prepend("<rss><channel><item><title>");
        }
        QString error;
        const auto document = parse(junk, &error);
        QVERIFY(document || !error.isEmpty());
        if (document) {
            everything(document->rootElement());
        }
    }
}

void tst_Xml::largeDocument()
{
    const QByteArray item = "<item><title>Title &amp; more</title><description><![CDATA[<p>" + QByteArray(400, 'x')
        + "</p>]]></description><guid>id</guid></item>\n";
    const int count = 50 * 1024 * 1024 / int(item.size());
    const QByteArray xml = "<rss><channel>" + item.repeated(count) + "</channel></rss>";

    QElapsedTimer timer;
    timer.start();
    const auto document = parse(xml);
    QVERIFY(document);
    const XmlNode channel = child(document->rootElement(), "channel");
    int items = 0;
    for (XmlNode node = channel.lastChild(); !node.isNull(); node = node.previousSibling()) {
        if (node.hasName("item")) {
            ++items;
            QCOMPARE(child(node, "title").stringValue(), QString("Title & more"));
        }
    }
    QCOMPARE(items, count);
    qInfo("%d items, %.1f MB, parsed and read in %lld ms", count, xml.size() / 1e6, timer.elapsed());
}

QTEST_GUILESS_MAIN(tst_Xml)
#include "tst_xml.moc"
