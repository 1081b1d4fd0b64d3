#pragma once

#include "model/parsing/XmlNode.h"

#include <QByteArray>
#include <QString>

#include <memory>

// An XML tree built tolerantly from downloaded bytes, the way feeds are written in practice:
// malformed markup is repaired where possible, bare ampersands and HTML entity names
// ("&eacute;") read as in HTML, external resources are never fetched and entity expansion
// is bounded.
class XmlDocument
{
public:
    // Builds a tree from bytes in whatever encoding the document declares. Gives no document
    // when even a repaired tree cannot be built; *errorString then holds the XML parser's own
    // message, or "" when it reported none. A built document leaves *errorString untouched.
    static std::unique_ptr<XmlDocument> fromData(const QByteArray &data, QString *errorString = nullptr);

    ~XmlDocument();
    XmlDocument(const XmlDocument &) = delete;
    XmlDocument &operator=(const XmlDocument &) = delete;

    XmlNode rootElement() const;
    // The parser's first error when it had to repair the document, "" for a well-formed one.
    // A repaired tree may lack anything after the error: the parser drops what passes its
    // nesting and length limits, and stops at the first.
    QString recoveredError() const { return m_recoveredError; }

private:
    struct Deleter
    {
        void operator()(void *document) const;
    };

    XmlDocument(void *document, const QString &recoveredError);

    std::unique_ptr<void, Deleter> m_document;
    QString m_recoveredError;
};
