#include "model/parsing/XmlNode.h"

#include <libxml/tree.h>

namespace {

const xmlNode *toNode(void *node)
{
    return static_cast<const xmlNode *>(node);
}

const char *chars(const xmlChar *text)
{
    return reinterpret_cast<const char *>(text);
}

QString fromUtf8(const xmlChar *text)
{
    return QString::fromUtf8(chars(text));
}

QString qualifiedName(const xmlNs *ns, const xmlChar *localName)
{
    if (ns && ns->prefix) {
        return fromUtf8(ns->prefix) + QLatin1Char(':') + fromUtf8(localName);
    }
    return fromUtf8(localName);
}

// Byte comparison of "prefix:local" against the wanted name. Names are ASCII in practice;
// a wanted name with other Latin-1 characters takes the exact, allocating comparison.
bool matchesName(const xmlNs *ns, const xmlChar *localName, QLatin1StringView wanted)
{
    const char *rest = wanted.data();
    qsizetype restSize = wanted.size();
    const auto matchesPart = [&](const char *part) {
        for (; *part; ++part, ++rest, --restSize) {
            if (restSize == 0 || *part != *rest) {
                return false;
            }
        }
        return true;
    };
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        if (static_cast<unsigned char>(wanted[i].toLatin1()) >= 0x80) {
            return qualifiedName(ns, localName) == wanted;
        }
    }
    if (ns && ns->prefix) {
        if (!matchesPart(chars(ns->prefix)) || restSize == 0 || *rest != ':') {
            return false;
        }
        ++rest;
        --restSize;
    }
    return matchesPart(chars(localName)) && restSize == 0;
}

// Text and character data below node, in document order, gathered as UTF-8 and converted
// once. The walk is iterative: the tree can be as deep as the parser allows.
QString descendantText(const xmlNode *node)
{
    const xmlNode *first = node->children;
    if (!first) {
        return QStringLiteral(""); // present but empty, never null
    }
    if (!first->next && (first->type == XML_TEXT_NODE || first->type == XML_CDATA_SECTION_NODE)) {
        return first->content ? fromUtf8(first->content) : QStringLiteral("");
    }
    QByteArray text;
    const xmlNode *current = first;
    while (current) {
        if ((current->type == XML_TEXT_NODE || current->type == XML_CDATA_SECTION_NODE) && current->content) {
            text.append(chars(current->content));
        }
        if (current->type == XML_ELEMENT_NODE && current->children) {
            current = current->children;
            continue;
        }
        while (current != node && !current->next) {
            current = current->parent;
        }
        current = current == node ? nullptr : current->next;
    }
    return text.isEmpty() ? QStringLiteral("") : QString::fromUtf8(text);
}

} // namespace

bool XmlNode::isElement() const
{
    return m_node && toNode(m_node)->type == XML_ELEMENT_NODE;
}

QString XmlNode::name() const
{
    if (!isElement()) {
        return QString();
    }
    return qualifiedName(toNode(m_node)->ns, toNode(m_node)->name);
}

bool XmlNode::hasName(QLatin1StringView qualifiedName) const
{
    return isElement() && matchesName(toNode(m_node)->ns, toNode(m_node)->name, qualifiedName);
}

XmlNode XmlNode::firstChild() const
{
    return XmlNode(m_node ? toNode(m_node)->children : nullptr);
}

XmlNode XmlNode::lastChild() const
{
    return XmlNode(m_node ? toNode(m_node)->last : nullptr);
}

XmlNode XmlNode::nextSibling() const
{
    return XmlNode(m_node ? toNode(m_node)->next : nullptr);
}

XmlNode XmlNode::previousSibling() const
{
    return XmlNode(m_node ? toNode(m_node)->prev : nullptr);
}

QString XmlNode::stringValue() const
{
    if (!m_node) {
        return QString();
    }
    const xmlNode *node = toNode(m_node);
    switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_NODE:
        return descendantText(node);
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        return node->content ? fromUtf8(node->content) : QStringLiteral("");
    default:
        return QStringLiteral("");
    }
}

std::optional<QString> XmlNode::attribute(QLatin1StringView qualifiedName) const
{
    if (!isElement()) {
        return std::nullopt;
    }
    for (const xmlAttr *attribute = toNode(m_node)->properties; attribute; attribute = attribute->next) {
        if (matchesName(attribute->ns, attribute->name, qualifiedName)) {
            // An attribute's value is the text of its children, like an element's.
            return descendantText(reinterpret_cast<const xmlNode *>(attribute));
        }
    }
    return std::nullopt;
}
