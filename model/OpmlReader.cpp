#include "model/OpmlReader.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <array>
#include <vector>

#include "model/parsing/XmlDocument.h"

namespace {

std::nullopt_t fail(QString *errorString, const QString &message)
{
    if (errorString) {
        *errorString = message;
    }
    return std::nullopt;
}

std::optional<QString> trimmedAttribute(const XmlNode &outline, const char *name)
{
    const std::optional<QString> value = outline.attribute(name);
    if (!value || value->trimmed().isEmpty()) {
        return std::nullopt;
    }
    return value->trimmed();
}

// Exporters disagree on the capitals of the feed address attribute.
std::optional<QString> feedAddress(const XmlNode &outline)
{
    for (const char *name : {"xmlUrl", "xmlurl", "xmlURL"}) {
        if (const std::optional<QString> value = outline.attribute(name)) {
            return value->trimmed();
        }
    }
    return std::nullopt;
}

bool declaresEntities(const QByteArray &data)
{
    if (data.contains("<!ENTITY")) {
        return true;
    }
    // A declaration in UTF-16 or UTF-32 hides from a search of the bytes.
    const std::optional<QStringConverter::Encoding> encoding = QStringConverter::encodingForData(data, u'<');
    if (!encoding || *encoding == QStringConverter::Utf8) {
        return false;
    }
    QStringDecoder decoder(*encoding);
    return QString(decoder(data)).contains(QLatin1String("<!ENTITY"));
}

XmlNode childElement(const XmlNode &parent, const char *name)
{
    for (const XmlNode child : parent.children()) {
        if (child.hasName(name)) {
            return child;
        }
    }
    return {};
}

} // namespace

std::optional<QList<Subscription>> OpmlReader::read(const QByteArray &data, QString *errorString)
{
    // OPML has no use for entities; declaring them is how entity-expansion and
    // external-entity attacks begin, so such a file is refused before it is parsed.
    if (declaresEntities(data)) {
        return fail(errorString, QStringLiteral("declares XML entities, which an OPML file never needs"));
    }
    QString xmlError;
    const std::unique_ptr<XmlDocument> document = XmlDocument::fromData(data, &xmlError);
    if (!document) {
        return fail(errorString, QStringLiteral("not an XML document: %1").arg(xmlError.trimmed()));
    }
    const XmlNode root = document->rootElement();
    if (!root.hasName("opml")) {
        return fail(errorString, QStringLiteral("not an OPML document (its root element is <%1>)").arg(root.name()));
    }
    const XmlNode body = childElement(root, "body");
    if (body.isNull()) {
        return fail(errorString, QStringLiteral("not an OPML document (it has no <body>)"));
    }
    // Repair may have dropped subscriptions without a word (all those past the parser's nesting
    // limit, say); a list imported in part would pass for the whole list.
    if (!document->recoveredError().isEmpty()) {
        return fail(errorString, QStringLiteral("not well-formed XML: %1").arg(document->recoveredError()));
    }
    QList<Subscription> feeds;
    // Depth first, in document order, without recursion: folder nesting is the file's to choose.
    std::vector<XmlNode> pending{body.firstChild()};
    while (!pending.empty()) {
        const XmlNode node = pending.back();
        pending.pop_back();
        if (node.isNull()) {
            continue;
        }
        pending.push_back(node.nextSibling());
        if (!node.hasName("outline")) {
            continue;
        }
        if (const std::optional<QString> url = feedAddress(node)) {
            Subscription feed;
            feed.url = *url;
            feed.name = trimmedAttribute(node, "title");
            if (!feed.name) {
                feed.name = trimmedAttribute(node, "text");
            }
            feeds.append(feed);
        }
        pending.push_back(node.firstChild());
    }
    return feeds;
}

std::optional<QByteArray> OpmlReader::readFileData(const QString &path, QString *errorString)
{
    if (QFileInfo(path).isDir()) {
        return fail(errorString, QStringLiteral("%1 is a folder").arg(path));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(errorString, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    }
    // Reading one byte more than allowed tells an oversized file (or an endless device) apart.
    QByteArray data = file.read(MaximumFileSize + 1);
    if (data.size() > MaximumFileSize) {
        return fail(errorString, QStringLiteral("%1 is larger than %2 MiB").arg(path).arg(MaximumFileSize >> 20));
    }
    return data;
}

std::optional<QList<Subscription>> OpmlReader::readDocument(const QByteArray &data, const QString &path,
                                                            QString *errorString)
{
    QString reason;
    std::optional<QList<Subscription>> feeds = read(data, &reason);
    if (!feeds) {
        return fail(errorString, QStringLiteral("%1: %2").arg(path, reason));
    }
    return feeds;
}

std::optional<QList<Subscription>> OpmlReader::readFile(const QString &path, QString *errorString)
{
    const std::optional<QByteArray> data = readFileData(path, errorString);
    if (!data) {
        return std::nullopt;
    }
    return readDocument(*data, path, errorString);
}
