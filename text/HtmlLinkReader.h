#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The <link> elements of one relation and the <base> address of an HTML page, read the way a
// browser reads broken markup, without fetching anything the page refers to.
class HtmlLinkReader
{
public:
    struct Link
    {
        QString type;
        QString href;
        QString title;
    };

    using Filter = std::function<bool(const Link &)>;

    // Reads page, keeping at most maximumLinks links whose rel names relation (rel holds a
    // list of words, compared without regard to case) and that keep accepts; the links it
    // refuses count toward nothing.
    HtmlLinkReader(const QByteArray &page, const QString &relation, const Filter &keep, qsizetype maximumLinks);

    // The href of the page's first <base> element; empty when it has none.
    QString baseHref() const { return m_baseHref; }
    // In document order.
    QList<Link> links() const { return m_links; }

private:
    QString m_baseHref;
    QList<Link> m_links;
};
