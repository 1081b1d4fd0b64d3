#include "model/OpmlWriter.h"

#include <QLocale>
#include <QXmlStreamWriter>

#include "model/RSSFeed.h"

namespace {

// XML 1.0 cannot carry most control characters, not even as references; a feed name
// taken from a channel title may hold some.
QString xmlSafe(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c.unicode() != 0xFFFE && c.unicode() != 0xFFFF) {
                safe.append(c);
            }
        }
    }
    return safe;
}

} // namespace

QByteArray OpmlWriter::write(const QList<RSSFeed *> &feeds, const QDateTime &created)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("opml"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(QStringLiteral("head"));
    xml.writeTextElement(QStringLiteral("title"), QStringLiteral("RSS Brevlin subscriptions"));
    // OPML dates are RFC 822 dates, in English whatever the user's language.
    xml.writeTextElement(QStringLiteral("dateCreated"),
                         QLocale::c().toString(created.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("body"));
    for (const RSSFeed *feed : feeds) {
        if (!feed->url() || feed->url()->isEmpty()) {
            continue;
        }
        const QString url = xmlSafe(*feed->url());
        const QString name = feed->name() && !feed->name()->isEmpty() ? xmlSafe(*feed->name()) : url;
        xml.writeEmptyElement(QStringLiteral("outline"));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("rss"));
        xml.writeAttribute(QStringLiteral("text"), name);
        xml.writeAttribute(QStringLiteral("title"), name);
        xml.writeAttribute(QStringLiteral("xmlUrl"), url);
        if (feed->link() && !feed->link()->isEmpty()) {
            xml.writeAttribute(QStringLiteral("htmlUrl"), xmlSafe(*feed->link()));
        }
    }
    xml.writeEndDocument();
    return out;
}
