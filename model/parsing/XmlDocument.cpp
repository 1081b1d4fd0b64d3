#include "model/parsing/XmlDocument.h"

#include <libxml/HTMLparser.h>
#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include "model/parsing/XmlAmpersandRepair.h"

#include <climits>
#include <map>
#include <string>

namespace {

// Recovery repairs what it can; entities are never substituted from outside the document,
// nothing is fetched, and the parser's own size and depth limits stay on (no "huge" option).
// The other two options only keep libxml2 from printing: errors are collected below.
constexpr int kParseOptions = XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// An entity the document does not declare is read the way a browser reads it in HTML: a
// known HTML name ("&eacute;", "&nbsp;") gives its character, any other name stays as
// written. libxml2 alone would drop the reference and its text.
std::string undeclaredEntityText(const xmlChar *name)
{
    if (const htmlEntityDesc *html = htmlEntityLookup(name)) {
        const char32_t character = html->value;
        return QString::fromUcs4(&character, 1).toStdString();
    }
    return "&" + std::string(reinterpret_cast<const char *>(name)) + ";";
}

// Per-parse state, reached from libxml2's callbacks through the parser context.
class ParseState
{
public:
    void record(const xmlError *error)
    {
        if (error->level < XML_ERR_ERROR || !error->message) {
            return;
        }
        const QString message = QString::fromUtf8(error->message).trimmed();
        if (m_firstError.isEmpty()) {
            m_firstError = message;
        }
        // Fatal errors are the well-formedness ones; namespace errors are mere errors.
        if (error->level == XML_ERR_FATAL && m_firstFatalError.isEmpty()) {
            m_firstFatalError = message;
        }
    }
    // An error of our own, which ends the parse.
    void record(const QString &message)
    {
        if (m_firstError.isEmpty()) {
            m_firstError = message;
        }
        if (m_firstFatalError.isEmpty()) {
            m_firstFatalError = message;
        }
    }
    QString firstError() const { return m_firstError; }
    QString firstFatalError() const { return m_firstFatalError; }

    // Counts one entity reference; false once the document has made more than it may.
    bool countReference() { return ++m_references <= m_referenceBudget; }
    void setReferenceBudget(qsizetype budget) { m_referenceBudget = budget; }
    xmlParserCtxt *outerContext = nullptr;

    // The parser inlines a "predefined" entity's text exactly as it does for "&amp;". In an
    // attribute value it copies only the first byte of such text, so there the reference is
    // handed out as an ordinary one, kept as a reference node and inlined by EntityInliner.
    // The parser then only checks the text, which must hold no reference: an unknown name
    // would otherwise refer to itself.
    xmlEntity *undeclaredEntity(const xmlChar *name, bool inAttribute)
    {
        const std::string key(reinterpret_cast<const char *>(name));
        auto found = m_undeclared.find(key);
        if (found == m_undeclared.end()) {
            found = m_undeclared.emplace(key, std::make_unique<Entity>(key)).first;
        }
        Entity &entity = *found->second;
        std::string &content = inAttribute ? entity.checkedContent : entity.content;
        entity.entity.etype = inAttribute ? XML_INTERNAL_GENERAL_ENTITY : XML_INTERNAL_PREDEFINED_ENTITY;
        entity.entity.content = reinterpret_cast<xmlChar *>(content.data());
        entity.entity.length = int(content.size());
        m_hasReferenceNodes = m_hasReferenceNodes || inAttribute;
        return &entity.entity;
    }
    bool hasReferenceNodes() const { return m_hasReferenceNodes; }

private:
    struct Entity
    {
        explicit Entity(const std::string &entityName)
            : name(entityName)
            , content(undeclaredEntityText(reinterpret_cast<const xmlChar *>(entityName.c_str())))
            , checkedContent(content)
        {
            if (checkedContent.front() == '&') {
                checkedContent.replace(0, 1, "&#38;");
            }
            entity.type = XML_ENTITY_DECL;
            entity.name = reinterpret_cast<const xmlChar *>(name.c_str());
        }
        std::string name;
        std::string content;
        std::string checkedContent;
        xmlEntity entity{};
    };

    QString m_firstError;
    QString m_firstFatalError;
    qsizetype m_references = 0;
    qsizetype m_referenceBudget = 0;
    std::map<std::string, std::unique_ptr<Entity>> m_undeclared;
    bool m_hasReferenceNodes = false;
};

ParseState *stateOf(void *context)
{
    return static_cast<ParseState *>(static_cast<xmlParserCtxt *>(context)->_private);
}

xmlEntity *entityWithFallback(void *context, const xmlChar *name)
{
    if (xmlEntity *declared = xmlSAX2GetEntity(context, name)) {
        return declared;
    }
    if (static_cast<xmlParserCtxt *>(context)->inSubset != 0) {
        return nullptr;
    }
    const bool inAttribute = static_cast<xmlParserCtxt *>(context)->instate == XML_PARSER_ATTRIBUTE_VALUE;
    return stateOf(context)->undeclaredEntity(name, inAttribute);
}

// libxml2 skips every entity reference, even "&amp;" and "&lt;", once its well-formedness
// flag is down (xmlParseReference), so after the first repaired mistake a recovered tree
// silently loses markup characters from all later text. Errors are kept in ParseState, so
// the flag is raised again at each piece of content and later references are read.
void keepReadingReferences(void *context)
{
    static_cast<xmlParserCtxt *>(context)->wellFormed = 1;
}

// An entity whose own text is malformed is parsed again at every reference to it, so a
// few nested declarations make a tiny document take hours. Past a budget that grows with
// the document the parse stops, keeping what it has read so far.
void reference(void *context, const xmlChar *name)
{
    ParseState *state = stateOf(context);
    if (!state->countReference()) {
        state->record(QStringLiteral("Too many entity references"));
        xmlStopParser(static_cast<xmlParserCtxt *>(context));
        xmlStopParser(state->outerContext);
        return;
    }
    xmlSAX2Reference(context, name);
}

void characters(void *context, const xmlChar *text, int length)
{
    keepReadingReferences(context);
    xmlSAX2Characters(context, text, length);
}

void startElement(void *context, const xmlChar *localName, const xmlChar *prefix, const xmlChar *uri,
                  int namespaceCount, const xmlChar **namespaces, int attributeCount, int defaultedCount,
                  const xmlChar **attributes)
{
    keepReadingReferences(context);
    xmlSAX2StartElementNs(context, localName, prefix, uri, namespaceCount, namespaces, attributeCount, defaultedCount,
                          attributes);
}

void endElement(void *context, const xmlChar *localName, const xmlChar *prefix, const xmlChar *uri)
{
    keepReadingReferences(context);
    xmlSAX2EndElementNs(context, localName, prefix, uri);
}

// Collects the errors of one parse instead of letting libxml2 print them. The handler is
// libxml2's per-thread one, set for the duration of the parse and then restored, because
// encoding errors are raised without the parser context and would miss a per-context handler.
class ErrorCapture
{
public:
    explicit ErrorCapture(ParseState *state)
        : m_savedHandler(xmlStructuredError)
        , m_savedContext(xmlStructuredErrorContext)
    {
        xmlSetStructuredErrorFunc(state, &ErrorCapture::record);
    }
    ~ErrorCapture() { xmlSetStructuredErrorFunc(m_savedContext, m_savedHandler); }
    ErrorCapture(const ErrorCapture &) = delete;
    ErrorCapture &operator=(const ErrorCapture &) = delete;

private:
    static void record(void *state, xmlError *error) { static_cast<ParseState *>(state)->record(error); }

    xmlStructuredErrorFunc m_savedHandler;
    void *m_savedContext;
};

// The number of entity references any document may make; a larger document may make one
// per byte.
constexpr qsizetype kMinimumReferenceBudget = 100000;

// The largest amount of text that references to the document's own entities may add, unless
// the document itself is larger.
constexpr qsizetype kMinimumExpansionBudget = 1024 * 1024;
// Entities referring to entities: deeper chains are not written by hand.
constexpr int kMaxEntityNesting = 16;

// Replaces each entity reference node by a text node holding the entity's text (for an
// undeclared one, undeclaredEntityText), so the tree holds plain text only. libxml2 leaves such references in place
// and bounds nested expansion, but not one entity referred to many times: a 100 kB entity
// used 10,000 times would read as a gigabyte of text. The budget bounds the text added and
// the nodes visited over the whole document; references beyond it are dropped, in document
// order, so the same bytes always give the same tree. External entities are never read.
class EntityInliner
{
public:
    EntityInliner(xmlDoc *document, qsizetype budget)
        : m_document(document)
        , m_budget(budget)
    {
    }

    void run()
    {
        xmlNode *node = m_document->children;
        while (node) {
            xmlNode *next = nextInTree(node);
            if (node->type == XML_ENTITY_REF_NODE) {
                replace(node);
            } else if (node->type == XML_ELEMENT_NODE) {
                for (xmlAttr *attribute = node->properties; attribute; attribute = attribute->next) {
                    for (xmlNode *part = attribute->children; part;) {
                        xmlNode *nextPart = part->next;
                        if (part->type == XML_ENTITY_REF_NODE) {
                            replace(part);
                        }
                        part = nextPart;
                    }
                }
            }
            node = next;
        }
    }

private:
    static xmlNode *nextInTree(xmlNode *node)
    {
        if (node->type == XML_ELEMENT_NODE && node->children) {
            return node->children;
        }
        while (node && !node->next) {
            node = node->parent;
        }
        return node ? node->next : nullptr;
    }

    void replace(xmlNode *reference)
    {
        std::string text;
        if (!appendEntity(reference->name, text, 0)) {
            m_budget = 0;
            text.clear();
        }
        if (!text.empty()) {
            xmlNode *replacement =
                xmlNewDocTextLen(m_document, reinterpret_cast<const xmlChar *>(text.data()), int(text.size()));
            xmlReplaceNode(reference, replacement);
        } else {
            xmlUnlinkNode(reference);
        }
        xmlFreeNode(reference);
    }

    // Appends the text of the named entity; false once the budget is spent.
    bool appendEntity(const xmlChar *name, std::string &text, int nesting)
    {
        const xmlEntity *entity = xmlGetDocEntity(m_document, name);
        if (!entity) {
            const std::string undeclared = undeclaredEntityText(name);
            m_budget -= qsizetype(undeclared.size());
            text += undeclared;
            return m_budget >= 0;
        }
        if (entity->etype != XML_INTERNAL_GENERAL_ENTITY) {
            return true;
        }
        if (nesting > kMaxEntityNesting) {
            return false;
        }
        for (xmlNode *part = entity->children; part; part = part->next) {
            if (!appendNode(part, text, nesting)) {
                return false;
            }
        }
        return true;
    }

    bool appendNode(xmlNode *node, std::string &text, int nesting)
    {
        const qsizetype size = node->content ? qsizetype(xmlStrlen(node->content)) : 0;
        if (m_budget < size + 1) {
            return false;
        }
        m_budget -= size + 1;
        switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            text.append(reinterpret_cast<const char *>(node->content), size_t(size));
            return true;
        case XML_ENTITY_REF_NODE:
            return appendEntity(node->name, text, nesting + 1);
        case XML_ELEMENT_NODE:
            for (xmlNode *child = node->children; child; child = child->next) {
                if (!appendNode(child, text, nesting + 1)) {
                    return false;
                }
            }
            return true;
        default:
            return true;
        }
    }

    xmlDoc *m_document;
    qsizetype m_budget;
};

struct ContextDeleter
{
    void operator()(xmlParserCtxt *context) const { xmlFreeParserCtxt(context); }
};

} // namespace

std::unique_ptr<XmlDocument> XmlDocument::fromData(const QByteArray &data, QString *errorString)
{
    ParseState state;
    ErrorCapture capture(&state);
    std::unique_ptr<xmlParserCtxt, ContextDeleter> context(xmlNewParserCtxt());
    const QByteArray repaired = escapeBareAmpersands(data);
    xmlDoc *document = nullptr;
    if (repaired.size() > INT_MAX) {
        state.record(QStringLiteral("Document is too large"));
    } else if (context) {
        context->_private = &state;
        state.outerContext = context.get();
        state.setReferenceBudget(qMax(qsizetype(repaired.size()), kMinimumReferenceBudget));
        context->sax->reference = reference;
        context->sax->getEntity = entityWithFallback;
        context->sax->characters = characters;
        context->sax->ignorableWhitespace = characters;
        context->sax->startElementNs = startElement;
        context->sax->endElementNs = endElement;
        document = xmlCtxtReadMemory(context.get(), repaired.constData(), int(repaired.size()), nullptr, nullptr,
                                     kParseOptions);
    }
    if (!document || !xmlDocGetRootElement(document)) {
        xmlFreeDoc(document);
        if (errorString) {
            *errorString = state.firstError();
        }
        return nullptr;
    }
    const bool declaresEntities = document->intSubset && document->intSubset->entities;
    if (declaresEntities || state.hasReferenceNodes()) {
        EntityInliner(document, qMax(data.size(), kMinimumExpansionBudget)).run();
    }
    return std::unique_ptr<XmlDocument>(new XmlDocument(document, state.firstFatalError()));
}

XmlDocument::XmlDocument(void *document, const QString &recoveredError)
    : m_document(document)
    , m_recoveredError(recoveredError)
{
}

XmlDocument::~XmlDocument() = default;

void XmlDocument::Deleter::operator()(void *document) const
{
    xmlFreeDoc(static_cast<xmlDoc *>(document));
}

XmlNode XmlDocument::rootElement() const
{
    return XmlNode(xmlDocGetRootElement(static_cast<xmlDoc *>(m_document.get())));
}
