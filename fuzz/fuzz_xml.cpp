// Reads the first line of arbitrary bytes as a date, then builds a tree from the bytes and reads
// all of it the way the feed parser does: names both ways, name tests, string values and
// attributes. Nothing may crash, leak or read out of bounds, and what the tree and the date
// reader hand out keeps the properties the parser relies on.

#include "model/parsing/NaturalLanguageDate.h"
#include "model/parsing/XmlDocument.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void walk(XmlNode node)
{
    const QString name = node.name();
    check(node.isElement() != name.isEmpty());
    check(!node.isElement() || node.hasName(QLatin1StringView(name.toLatin1())) || name.toLatin1() != name.toUtf8());
    check(!node.hasName(""));
    const QString value = node.stringValue();
    check(!value.isNull());
    for (const char *attribute : {"href", "xml:lang", "rdf:about"}) {
        if (const std::optional<QString> found = node.attribute(attribute)) {
            check(node.isElement() && !found->isNull());
        }
    }
    if (node.hasName("pubDate") || node.hasName("dc:date") || node.hasName("updated")) {
        dateWithNaturalLanguageString(value);
    }
    XmlNode last;
    for (XmlNode child : node.children()) {
        walk(child);
        last = child;
    }
    check(last == node.lastChild());
    for (XmlNode child = node.lastChild(); !child.isNull(); child = child.previousSibling()) {
        check(!child.nextSibling().isNull() || child == last);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first line doubles as a date, so the date reader gets the same mutations.
    const QByteArrayView firstLine(data, qsizetype(std::min<std::size_t>(size, 80)));
    const std::optional<QDateTime> date = dateWithNaturalLanguageString(
        QString::fromUtf8(firstLine.first(firstLine.indexOf('\n') < 0 ? firstLine.size() : firstLine.indexOf('\n'))));
    check(!date || (date->isValid() && date->timeSpec() == Qt::UTC));

    QString error;
    const auto document =
        XmlDocument::fromData(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)), &error);
    if (document) {
        check(document->rootElement().isElement());
        walk(document->rootElement());
    } else {
        check(error == error.trimmed());
    }
    return 0;
}
