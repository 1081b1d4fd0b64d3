#include "tests/support/HtmlSamples.h"

#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>

#include "model/parsing/XmlDocument.h"
#include "tests/support/TestSupport.h"
#include "text/StringHTML.h"

namespace TestSupport {

namespace {

void collectEntryTexts(XmlNode node, QStringList &texts)
{
    for (XmlNode child : node.children()) {
        if (child.hasName("description") || child.hasName("content") || child.hasName("title")) {
            texts.append(stringByUnescapingFromHTML(flattenHTML(child.stringValue())));
        }
        collectEntryTexts(child, texts);
    }
}

} // namespace

QStringList corpusEntryTexts()
{
    QStringList texts;
    QDirIterator files(corpusPath(QStringLiteral("feeds")), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly)) {
            qWarning("cannot read %s", qPrintable(file.fileName()));
            continue;
        }
        if (const auto document = XmlDocument::fromData(file.readAll())) {
            collectEntryTexts(document->rootElement(), texts);
        }
    }
    return texts;
}

QStringList randomMarkup(quint32 seed, int count)
{
    static const QStringList names{
        "p",    "div", "br",   "b",       "span",   "a",          "li",       "ul",        "ol",    "table", "tr",
        "td",   "h1",  "dl",   "dd",      "center", "blockquote", "address",  "pre",       "code",  "tt",    "kbd",
        "samp", "PRE", "Code", "\"pre\"", "'tt'",   "&#112;re",   "k&#x62;d", "&#8490;bd", " samp", "pre\n"};
    static const QStringList attributes{"", "", " class=\"q\"", "/", " style=\"color:red\"", " title=\"<pre>\""};
    static const QStringList texts{"a",
                                   "b c",
                                   "  ",
                                   "\n",
                                   " \n ",
                                   "\t",
                                   "&amp;",
                                   "&nbsp;",
                                   "&lt;pre&gt;",
                                   "\u00a0",
                                   "y\n\nz",
                                   "<!-- <pre> -->",
                                   "http://example.com/x",
                                   "\n\n  x  \n"};
    QRandomGenerator random(seed);
    QStringList markup;
    for (int i = 0; i < count; ++i) {
        QString html;
        for (int piece = int(random.bounded(1, 15)); piece > 0; --piece) {
            if (random.bounded(100) < 45) {
                const QString &name = names.at(random.bounded(int(names.size())));
                html += random.bounded(100) < 35
                    ? QStringLiteral("</%1>").arg(name)
                    : QStringLiteral("<%1%2>").arg(name, attributes.at(random.bounded(int(attributes.size()))));
            } else {
                html += texts.at(random.bounded(int(texts.size())));
            }
        }
        markup.append(html);
    }
    return markup;
}

QString visible(const QString &text)
{
    QString shown;
    for (const QChar c : text) {
        shown += c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa1) || c.isSpace()
            ? QStringLiteral("<%1>").arg(c.unicode(), 0, 16)
            : QString(c);
    }
    return shown;
}

} // namespace TestSupport
