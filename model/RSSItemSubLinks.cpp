#include "model/RSSItem.h"

#include "model/SubLink.h"
#include "store/ObjectContext.h"

namespace {

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar(0x85) || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// One line of a text: its characters [start, end) and its line break [end, breakEnd), which
// is empty on a last line without one. CR LF is one line break.
struct Line
{
    qsizetype start;
    qsizetype end;
    qsizetype breakEnd;
};

// The line holding position, not reaching back before from.
Line lineAround(const QString &text, qsizetype from, qsizetype position)
{
    Line line{position, position, position};
    while (line.start > from && !isLineBreak(text.at(line.start - 1))) {
        --line.start;
    }
    while (line.end < text.size() && !isLineBreak(text.at(line.end))) {
        ++line.end;
    }
    line.breakEnd = line.end;
    if (line.breakEnd < text.size()) {
        const bool crlf = text.at(line.end) == u'\r' && line.end + 1 < text.size() && text.at(line.end + 1) == u'\n';
        line.breakEnd += crlf ? 2 : 1;
    }
    return line;
}

struct FoundLink
{
    QString link;
    // The rest of the line after the link, line break included; empty when nothing follows.
    QString rest;
};

// One link per line holding marker: the first one written between "<" and ">", else the first
// bare one, which ends at a space.
QList<FoundLink> scanLinks(const QString &text, QLatin1StringView marker)
{
    const QString bracketedMarker = QLatin1Char('<') + marker;
    QList<FoundLink> found;
    qsizetype rest = 0;
    for (qsizetype at = text.indexOf(marker, rest); at >= 0; at = text.indexOf(marker, rest)) {
        const Line line = lineAround(text, rest, at);
        rest = line.breakEnd;
        const QStringView characters = QStringView(text).sliced(line.start, line.end - line.start);
        const qsizetype bracket = characters.indexOf(bracketedMarker);
        const bool bracketed = bracket >= 0;
        const qsizetype linkStart = bracketed ? bracket + 1 : characters.indexOf(marker);
        const qsizetype separator = characters.indexOf(bracketed ? u'>' : u' ', linkStart);
        FoundLink link{
            characters.sliced(linkStart, (separator < 0 ? characters.size() : separator) - linkStart).toString(),
            QStringLiteral("")};
        if (separator >= 0) {
            qsizetype restStart = line.start + separator + 1;
            // After ">" one more character is skipped, normally a space; a line break there is
            // skipped whole, so a CR LF leaves no lone LF behind.
            if (bracketed && restStart < line.breakEnd) {
                restStart = restStart == line.end ? line.breakEnd : restStart + 1;
            }
            link.rest = text.sliced(restStart, line.breakEnd - restStart);
        }
        found.append(link);
    }
    return found;
}

} // namespace

void RSSItem::createSubLinksFromString(const std::optional<QString> &text)
{
    if (!text) {
        return;
    }
    createRdarLinksFromString(*text);
    createURLLinksFromString(*text);
}

void RSSItem::createRdarLinksFromString(const QString &text)
{
    for (const FoundLink &found : scanLinks(text, QLatin1StringView("rdar://"))) {
        std::unique_ptr<SubLink> subLink = std::make_unique<SubLink>(managedObjectContext());
        subLink->setLink(found.link);
        subLink->setText(found.rest);
        addSubLinkEntry(std::move(subLink));
    }
}

void RSSItem::createURLLinksFromString(const QString &text)
{
    for (const FoundLink &found : scanLinks(text, QLatin1StringView("http://"))) {
        std::unique_ptr<SubLink> subLink = std::make_unique<SubLink>(managedObjectContext());
        subLink->setLink(found.link);
        addSubLinkEntry(std::move(subLink));
    }
}

void RSSItem::addSubLinkEntry(std::unique_ptr<SubLink> subLink)
{
    fireFault();
    subLink->m_owner = this;
    SubLink *added = subLink.get();
    details().subLinks.push_back(std::move(subLink));
    didChangeValueForKey(QStringLiteral("subLinks"), {added});
}
