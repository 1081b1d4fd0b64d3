#include "text/HtmlLinkReader.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <climits>
#include <memory>
#include <utility>

namespace {

// Recovery reads pages as browsers do; nothing the page names is fetched, nothing is printed.
constexpr int kParseOptions = HTML_PARSE_NONET | HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING;

struct DocumentDeleter
{
    void operator()(xmlDoc *document) const { xmlFreeDoc(document); }
};

QString attribute(xmlNode *element, const char *name)
{
    xmlChar *value = xmlGetProp(element, reinterpret_cast<const xmlChar *>(name));
    if (!value) {
        return QString();
    }
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(value));
    xmlFree(value);
    return text;
}

bool hasName(const xmlNode *node, const char *name)
{
    return node->type == XML_ELEMENT_NODE && xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar *>(name)) == 0;
}

// Document order without recursion, so that deeply nested markup cannot exhaust the stack.
xmlNode *nextInDocument(xmlNode *node)
{
    if (node->children) {
        return node->children;
    }
    while (node && !node->next) {
        node = node->parent;
    }
    return node ? node->next : nullptr;
}

} // namespace

HtmlLinkReader::HtmlLinkReader(const QByteArray &page, const QString &relation, const Filter &keep,
                               qsizetype maximumLinks)
{
    if (page.isEmpty() || page.size() > INT_MAX) {
        return;
    }
    const std::unique_ptr<xmlDoc, DocumentDeleter> document(
        htmlReadMemory(page.constData(), int(page.size()), nullptr, nullptr, kParseOptions));
    xmlNode *root = document ? xmlDocGetRootElement(document.get()) : nullptr;
    bool baseFound = false;
    for (xmlNode *node = root; node && m_links.size() < maximumLinks; node = nextInDocument(node)) {
        if (!baseFound && hasName(node, "base") && xmlHasProp(node, reinterpret_cast<const xmlChar *>("href"))) {
            m_baseHref = attribute(node, "href").trimmed();
            baseFound = true;
        } else if (hasName(node, "link")) {
            const QStringList relations =
                attribute(node, "rel").simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (relations.contains(relation, Qt::CaseInsensitive)) {
                Link link{attribute(node, "type").trimmed(), attribute(node, "href").trimmed(),
                          attribute(node, "title").simplified()};
                if (keep(link)) {
                    m_links.append(std::move(link));
                }
            }
        }
    }
}
