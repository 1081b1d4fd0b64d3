#include "model/RSSFeed.h"

#include "model/FeedEvents.h"
#include "model/FeedScheduleHints.h"
#include "model/RSSItem.h"
#include "model/parsing/NaturalLanguageDate.h"
#include "model/parsing/XmlDocument.h"
#include "store/DistantPast.h"
#include "store/ObjectContext.h"
#include "text/HtmlPlainText.h"
#include "text/StringHTML.h"

namespace {

// Tags the HTML reader may take on from the entry texts of one document: enough for every
// entry of a feed whose descriptions hold escaped markup twice over, little enough that a
// hostile document costs at most a fraction of a second of reading.
constexpr qsizetype readerTagsPerDocument = 20000;

// The children of one item that give its fields: for each field the first matching child in
// document order. Only the nodes are kept while walking, so an item the date filter turns
// away costs no text conversion beyond its date.
struct ItemNodes
{
    XmlNode author;
    XmlNode date;
    XmlNode title;
    XmlNode link;
    XmlNode identifier;
    XmlNode text;
};

ItemNodes gatherItemNodes(const XmlNode &item)
{
    // Walking backwards and letting every match overwrite leaves the first match in document
    // order in each field.
    ItemNodes nodes;
    for (XmlNode child = item.lastChild(); !child.isNull(); child = child.previousSibling()) {
        if (!child.isElement()) {
            continue;
        }
        if (child.hasName("author")) {
            nodes.author = child;
        }
        const bool isDcDate = child.hasName("dc:date");
        if (isDcDate || child.hasName("pubDate") || child.hasName("published") || child.hasName("updated")) {
            nodes.date = child;
        }
        if (child.hasName("title") || child.hasName("dc:title")) {
            nodes.title = child;
        }
        if (child.hasName("link") || child.hasName("dc:source")) {
            nodes.link = child;
        }
        if (isDcDate || child.hasName("guid") || child.hasName("id")) {
            nodes.identifier = child;
        }
        if (child.hasName("description") || child.hasName("content")) {
            nodes.text = child;
        }
    }
    return nodes;
}

std::optional<QString> plainValue(const XmlNode &node)
{
    if (node.isNull()) {
        return std::nullopt;
    }
    return stringByUnescapingFromHTML(flattenHTML(node.stringValue()));
}

// An e-mail address when the author element has one, else the element's whole text.
std::optional<QString> authorValue(const XmlNode &author)
{
    if (author.isNull()) {
        return std::nullopt;
    }
    for (XmlNode child : author.children()) {
        if (child.hasName("email")) {
            return child.stringValue();
        }
    }
    return author.stringValue();
}

// Atom links carry the address in "href"; RSS links are text.
std::optional<QString> linkValue(const XmlNode &link)
{
    if (link.isNull()) {
        return std::nullopt;
    }
    if (std::optional<QString> href = link.attribute("href")) {
        return href;
    }
    return link.stringValue();
}

// The identifier element's text; without one (or with an empty one) the link, else the title,
// tells entries apart, so a feed without identifiers neither stores its entries again at every
// check nor collapses them all into one entry.
std::optional<QString> identifierValue(const XmlNode &identifier, const std::optional<QString> &link,
                                       const std::optional<QString> &title)
{
    const std::optional<QString> candidates[] = {
        identifier.isNull() ? std::nullopt : std::optional<QString>(identifier.stringValue()), link, title};
    for (const std::optional<QString> &candidate : candidates) {
        if (candidate && !candidate->isEmpty()) {
            return candidate;
        }
    }
    return std::nullopt;
}

bool isFeedRoot(const XmlNode &root)
{
    return root.hasName("rss") || root.hasName("rdf:RDF") || root.hasName("feed");
}

// The element's name without its prefix, in lower case: HTML is written in any case.
QString localName(const XmlNode &element)
{
    return element.name().section(QLatin1Char(':'), -1).toLower();
}

// Whether the bytes begin like a web page.
bool startsLikeHtml(const QByteArray &data)
{
    QByteArray start = data.left(1024).trimmed().toLower();
    if (start.startsWith("\xef\xbb\xbf")) {
        start = start.mid(3).trimmed();
    }
    return start.startsWith("<!doctype html") || start.startsWith("<html");
}

} // namespace

QString RSSFeed::documentError(const XmlDocument *document, const QByteArray &data, const QString &parserError)
{
    const XmlNode root = document ? document->rootElement() : XmlNode();
    if (!root.isNull() && isFeedRoot(root)) {
        return QString();
    }
    // Recovery reads some of a web page as XML; its root is then whatever element came first.
    if (startsLikeHtml(data) || (!root.isNull() && localName(root) == QLatin1String("html"))) {
        return QStringLiteral("Not a feed: an HTML page");
    }
    if (root.isNull()) {
        return parserError.isEmpty() ? QStringLiteral("Not a feed: a document that cannot be read") : parserError;
    }
    return QStringLiteral("Not a feed: a document whose root is <%1>").arg(root.name());
}

void RSSFeed::parseDocument(const XmlDocument *document)
{
    const HtmlReaderBudget readerBudget(readerTagsPerDocument);
    const XmlNode root = document ? document->rootElement() : XmlNode();
    const bool isRdf = root.hasName("rdf:RDF");
    const bool isAtom = root.hasName("feed");
    if (isFeedRoot(root)) {
        // Atom has no channel: what it says of itself stands beside its entries.
        FeedScheduleHints atomHints;
        for (XmlNode child : root.children()) {
            if (child.hasName("channel")) {
                parseChannel(child);
            } else if (isAtom) {
                atomHints.read(child);
            }
        }
        if (isAtom) {
            setDocumentHints(atomHints);
        }
        // RSS 1.0 keeps its items beside the channel, Atom its entries at the top.
        if (isRdf || isAtom) {
            parseItems(root);
        }
    }
    FeedEvents *events = FeedEvents::of(managedObjectContext());
    Q_EMIT events->documentParsed(this);
    Q_EMIT events->updateMenus();
}

void RSSFeed::parseChannel(const XmlNode &channel)
{
    FeedScheduleHints hints;
    for (XmlNode child : channel.children()) {
        if (child.hasName("title")) {
            // A name the user gave is never replaced.
            if (!m_name || m_name->isEmpty()) {
                setName(child.stringValue());
            }
        } else if (child.hasName("link")) {
            // Written without a change notice; the items pass below marks the feed changed.
            m_link = child.stringValue();
        } else if (child.hasName("generator")) {
            const QString generator = child.stringValue();
            setGenerator(generator);
            setFlagsFromGenerator(generator);
        } else {
            hints.read(child);
        }
    }
    setDocumentHints(hints);
    parseItems(channel);
}

void RSSFeed::parseItems(const XmlNode &element)
{
    std::optional<QDateTime> newest;
    for (XmlNode child : element.children()) {
        if (child.hasName("item") || child.hasName("entry")) {
            const std::optional<QDateTime> date = parseItem(child);
            if (!newest || (date && *date > *newest)) {
                newest = date;
            }
        }
    }
    setLastFetchDate(newest);
}

std::optional<QDateTime> RSSFeed::parseItem(const XmlNode &item)
{
    const ItemNodes nodes = gatherItemNodes(item);
    const std::optional<QDateTime> date =
        nodes.date.isNull() ? std::nullopt : dateWithNaturalLanguageString(nodes.date.stringValue());

    // The date filter comes first: in the steady state it turns every item away without a lookup.
    const std::optional<QDateTime> lastFetch = m_lastFetchDate;
    if (lastFetch && !(date && *date > *lastFetch)) {
        return date;
    }

    const std::optional<QString> title = plainValue(nodes.title);
    const std::optional<QString> link = linkValue(nodes.link);
    const std::optional<QString> identifier = identifierValue(nodes.identifier, link, title);
    // An item that nothing identifies is kept only in a pass that takes every item, and then
    // only while no such entry is stored.
    if ((!identifier && lastFetch) || isKnownIdentifier(identifier)) {
        return date;
    }

    RSSItem *entry = RSSItem::insert(managedObjectContext());
    entry->setAuthor(authorValue(nodes.author));
    entry->setDate(date);
    entry->setTitle(title);
    entry->setUrl(link);
    entry->setGuid(identifier);
    entry->setText(plainValue(nodes.text));
    addFeedEntry(entry);

    // A feed that has never been fetched stores its first document without announcing it.
    if (!lastFetch || *lastFetch != distantPast()) {
        Q_EMIT FeedEvents::of(managedObjectContext())->newRssItem(entry);
    }
    return date;
}

bool RSSFeed::isKnownIdentifier(const std::optional<QString> &identifier) const
{
    // Exact equality: an identifier from a feed is never read as a pattern.
    return RSSItem::existsWithGuid(managedObjectContext(), identifier);
}
