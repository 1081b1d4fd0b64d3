#include <QTest>

#include "model/HtmlPlainText.h"

// Entry text in a process without a GUI application object (the command line, the fetch
// tests): the HTML reader would crash on monospace markup there, so markup is stripped.
class tst_HeadlessText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void plainText_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");

        QTest::newRow("no markup") << "  Fish \n and\u00a0chips " << "Fish and chips ";
        QTest::newRow("preformatted") << "<pre>code</pre>" << "code";
        QTest::newRow("monospace inside a paragraph") << "<p><code>a</code> &amp;amp; <tt>b</tt></p>" << "a &amp; b";
        QTest::newRow("paragraphs make no lines") << "<p>One</p>\n<p>Two</p>" << "One Two";
    }
    void plainText()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);

        QCOMPARE(plainTextFromHtml(html), text);
    }
};

QTEST_GUILESS_MAIN(tst_HeadlessText)
#include "tst_headlesstext.moc"
