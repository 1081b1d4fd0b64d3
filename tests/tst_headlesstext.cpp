#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

#include <cstdio>

#include "model/RSSItem.h"
#include "model/SubLink.h"
#include "store/ObjectContext.h"
#include "tests/support/HtmlSamples.h"
#include "tests/support/LogCapture.h"
#include "text/HtmlPlainText.h"

using namespace TestSupport;

namespace {

// Started with this option the program reads the JSON array of texts on its standard input
// under a GUI application object, as the tray program does, and writes their readings.
const char guiReaderOption[] = "--gui-reader";

int readUnderGuiApplication(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    QFile input;
    QFile output;
    if (!input.open(stdin, QIODevice::ReadOnly) || !output.open(stdout, QIODevice::WriteOnly)) {
        return 1;
    }
    QJsonArray readings;
    for (const QJsonValue text : QJsonDocument::fromJson(input.readAll()).array()) {
        readings.append(plainTextFromHtml(text.toString()));
    }
    output.write(QJsonDocument(readings).toJson(QJsonDocument::Compact));
    return 0;
}

} // namespace

// Entry text in a process without a GUI application object (the command line, the fetch
// tests) reads exactly as in the tray program.
class tst_HeadlessText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(!qobject_cast<QGuiApplication *>(QCoreApplication::instance())); }

    void plainText_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");

        QTest::newRow("no markup") << "  Fish \n and\u00a0chips "
                                   << "Fish and chips ";
        QTest::newRow("preformatted") << "<pre>code</pre>"
                                      << "code";
        QTest::newRow("preformatted keeps its white space") << "<p>x</p><pre>\n a  b\n\tc\n</pre>y"
                                                            << "x\n a  b\n\tc\ny";
        QTest::newRow("monospace inside a paragraph") << "<p><code>a</code> &amp;amp; <tt>b</tt></p>"
                                                      << "a &amp; b";
        QTest::newRow("keyboard and sample") << "<kbd>k</kbd>  <samp>s</samp>"
                                             << "k s";
        QTest::newRow("paragraphs make lines") << "<p>One</p>\n<p>Two</p>"
                                               << "One\nTwo";
        QTest::newRow("two paragraphs") << "<p>x</p><p>y</p>"
                                        << "x\ny";
        QTest::newRow("line break") << "a<br>b"
                                    << "a\nb";
        // The reader takes all of these for fixed-pitch elements, so none may reach it unrenamed.
        QTest::newRow("upper case name") << "<PRE>a  b</PRE>"
                                         << "a  b";
        QTest::newRow("quoted name") << "<\"pre\">a  b</'pre'>c"
                                     << "a  b\nc";
        QTest::newRow("name through references") << "<&#112;re>a  b</p&#x72;e>"
                                                 << "a  b";
        QTest::newRow("Kelvin sign lower-cased to k") << "<&#8490;bd>k</kbd>"
                                                      << "k";
        // The reader took it for a tag; a "<" before white space is text.
        QTest::newRow("white space before the name") << "< \ttt>t</tt>"
                                                     << "< tt>t";
        QTest::newRow("reference ending the text") << "x<pr&#101"
                                                   << "x\n";
        QTest::newRow("name inside a quoted attribute") << "<a title=\"<pre>\">a  b</a>"
                                                        << "a b";
    }
    void plainText()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);

        QCOMPARE(plainTextFromHtml(html), text);
    }

    // Without a GUI application object the reader's fonts have no size, and each font size the
    // markup names used to reach standard error as a QFont warning; the text is the same.
    void fontSizesReadSilently_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");

        QTest::newRow("smaller font") << "<font size=-1>Fish</font> chips"
                                      << "Fish chips";
        QTest::newRow("absolute font size") << "<font size=7>Big</font>"
                                            << "Big";
        QTest::newRow("small and big") << "<small>a</small><big>b</big>"
                                       << "ab";
        QTest::newRow("headings") << "<h1>One</h1><h4>Four</h4>"
                                  << "One\nFour";
        QTest::newRow("preformatted, read as a heading") << "<pre>a  b</pre>"
                                                         << "a  b";
        QTest::newRow("style sheet keyword") << "<span style=\"font-size:small\">s</span>"
                                             << "s";
        QTest::newRow("sizes and weight no font has") << "<span style=\"font-size:0pt\">p</span>"
                                                         "<span style=\"font-size:-1px\">x</span>"
                                                         "<span style=\"font-weight:-5\">w</span>"
                                                      << "pxw";
    }
    void fontSizesReadSilently()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);

        const LogCapture log;
        QCOMPARE(plainTextFromHtml(html), text);
        QCOMPARE(log.lines(), QStringList());
    }

    void subLinksOnePerParagraph()
    {
        ObjectContext context;
        RSSItem *item = RSSItem::insert(&context);
        item->setText(QStringLiteral("<p>rdar://1 first</p><pre>see http://example.com/ now</pre>"));
        QCOMPARE(item->text(), QStringLiteral("rdar://1 first\nsee http://example.com/ now"));
        QStringList links;
        for (const auto &subLink : item->subLinks()) {
            links.append(subLink->link().value_or(QString()));
        }
        QCOMPARE(links, (QStringList{"rdar://1", "http://example.com/"}));
    }

    // The same texts read in a second process under a GUI application object.
    void readingDoesNotDependOnTheApplicationObject()
    {
        const QStringList texts = corpusEntryTexts() + randomMarkup(7, 4000);
        QVERIFY(texts.size() > 4300);
        QProcess gui;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        gui.setProcessEnvironment(environment);
        gui.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        gui.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(guiReaderOption)});
        QVERIFY(gui.waitForStarted());
        gui.write(QJsonDocument(QJsonArray::fromStringList(texts)).toJson(QJsonDocument::Compact));
        gui.closeWriteChannel();
        QVERIFY(gui.waitForFinished(300000));
        QCOMPARE(gui.exitStatus(), QProcess::NormalExit);
        QCOMPARE(gui.exitCode(), 0);
        const QJsonArray readings = QJsonDocument::fromJson(gui.readAllStandardOutput()).array();
        QCOMPARE(readings.size(), texts.size());
        for (qsizetype i = 0; i < texts.size(); ++i) {
            const QString headless = plainTextFromHtml(texts.at(i));
            QVERIFY2(headless == readings.at(i).toString(),
                     qPrintable(visible(texts.at(i)) + " gives " + visible(headless) + ", under a GUI "
                                + visible(readings.at(i).toString())));
        }
    }
};

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], guiReaderOption) == 0) {
        return readUnderGuiApplication(argc, argv);
    }
    QCoreApplication application(argc, argv);
    tst_HeadlessText test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_headlesstext.moc"
