#include "text/HtmlPlainText.h"

#include <QTextDocument>
#include <QTextDocumentFragment>

#include "text/StringHTML.h"

#include <algorithm>

namespace {

HtmlReaderBudget *innermostBudget = nullptr;

// Characters the document turns into block boundaries, which become line breaks.
bool breaksParagraph(QChar c)
{
    return c == QChar::ParagraphSeparator || c.unicode() == 0xfdd0 || c.unicode() == 0xfdd1;
}

// The HTML reader reads at most nine characters after "&" looking for the ";" that ends a
// reference; a white space character, or a tenth character, before it makes the "&" plain
// text. At the end of the text it tries the rest as a reference name, so that case, like
// every ";" found, is left to the reader.
bool isLiteralAmpersand(const QString &text, qsizetype ampersand)
{
    constexpr qsizetype longestReference = 9;
    for (qsizetype i = ampersand + 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isSpace() || i - ampersand > longestReference) {
            return true;
        }
        if (c == u';') {
            return false;
        }
    }
    return false;
}

// The reader's white space rule on text it reads as plain characters: a run of white space
// becomes one space, at the start of the text none, and a non-breaking space a plain one.
// With stopAtMarkup, gives no value at the first character the reader would read otherwise.
std::optional<QString> collapseWhiteSpace(const QString &text, bool stopAtMarkup)
{
    // Written through a pointer: this runs over the text of every new entry.
    QString plain(text.size(), Qt::Uninitialized);
    QChar *out = plain.data();
    bool dropSpace = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (stopAtMarkup && (c == u'<' || breaksParagraph(c) || (c == u'&' && !isLiteralAmpersand(text, i)))) {
            return std::nullopt;
        }
        if (c.isSpace() && c != QChar::Nbsp) {
            if (!dropSpace) {
                *out++ = u' ';
                dropSpace = true;
            }
            continue;
        }
        *out++ = c == QChar::Nbsp ? QChar(u' ') : c;
        dropSpace = false;
    }
    plain.truncate(out - plain.constData());
    return plain.isNull() ? QStringLiteral("") : plain;
}

// The reader would otherwise load what the text names from disk: a style sheet's
// "@import url(/dev/zero)" never ends, and any local file would be read.
class WithoutResources : public QTextDocument
{
protected:
    QVariant loadResource(int, const QUrl &) override { return {}; }
};

// The reader gives code, keyboard, sample, teletype and preformatted text the system's
// fixed-pitch font, which only a GUI application object can name: without one it crashes.
// Those elements are renamed to ones it reads the same way but for the font (italic inline
// text; a block keeping its white space), so every program stores the same text. The
// style attribute stays unquoted so that a name renamed inside a quoted attribute value
// cannot end that value.
struct FixedPitchElement
{
    QLatin1StringView name;
    QLatin1StringView opening;
    QLatin1StringView closing;
};

constexpr FixedPitchElement fixedPitchElements[] = {
    {QLatin1StringView("code"), QLatin1StringView("var "), QLatin1StringView("var ")},
    {QLatin1StringView("kbd"), QLatin1StringView("cite "), QLatin1StringView("cite ")},
    {QLatin1StringView("pre"), QLatin1StringView("h6 style=white-space:pre "), QLatin1StringView("h6 ")},
    {QLatin1StringView("samp"), QLatin1StringView("em "), QLatin1StringView("em ")},
    {QLatin1StringView("tt"), QLatin1StringView("dfn "), QLatin1StringView("dfn ")},
};

const FixedPitchElement *fixedPitchElement(const QString &name)
{
    for (const FixedPitchElement &element : fixedPitchElements) {
        if (name == element.name) {
            return &element;
        }
    }
    return nullptr;
}

// A reference in a tag name, read from just after its "&" as the reader reads it there (see
// isLiteralAmpersand): what it stands for, or "&" and pos unmoved when it is none. Named
// references never stand for a letter, so one character that is none stands for them all;
// numeric ones are resolved, since "&#112;re" names "pre" to the reader.
QString readReference(QStringView text, qsizetype &pos)
{
    constexpr qsizetype longestReference = 9;
    qsizetype end = pos;
    while (end < text.size() && text.at(end) != u';') {
        if (text.at(end).isSpace() || end + 1 - pos > longestReference) {
            return QStringLiteral("&");
        }
        ++end;
    }
    if (end < text.size() && end + 1 - pos > longestReference) {
        return QStringLiteral("&");
    }
    QStringView reference = text.sliced(pos, end - pos);
    if (reference.isEmpty()) {
        return QStringLiteral("&");
    }
    QString character(QChar::ReplacementCharacter);
    if (reference.size() > 1 && reference.front() == u'#') {
        reference = reference.sliced(1);
        int base = 10;
        if (reference.front().toLower() == u'x') {
            reference = reference.sliced(1);
            base = 16;
        }
        bool ok = false;
        const uint code = reference.toUInt(&ok, base);
        if (!ok) {
            return QStringLiteral("&");
        }
        // The reader maps 0x80 to 0x9f to the Windows Latin-1 characters, none of them a letter.
        const char32_t resolved = code >= 0x80 && code < 0xa0 ? char32_t(QChar::ReplacementCharacter) : char32_t(code);
        character = QString::fromUcs4(&resolved, 1);
    }
    pos = std::min(end + 1, text.size());
    return character;
}

// The word the reader takes for a tag name at pos: quoted in either quote, or bare up to
// white space, "<", "=", ">" or "/>"; lower-cased. *end is set to the position after it.
QString readTagName(QStringView text, qsizetype pos, qsizetype *end)
{
    QString word;
    const QChar quote = pos < text.size() ? text.at(pos) : QChar();
    if (quote == u'"' || quote == u'\'') {
        ++pos;
        while (pos < text.size()) {
            const QChar c = text.at(pos++);
            // Inside single quotes a backslash keeps the quote, and references stay as written.
            if (c == quote && (quote == u'"' || text.at(pos - 2) != u'\\')) {
                break;
            }
            word += c == u'&' && quote == u'"' ? readReference(text, pos) : QString(c);
        }
    } else {
        while (pos < text.size()) {
            const QChar c = text.at(pos);
            if (c == u'>' || c == u'<' || c == u'=' || c.isSpace()
                || (c == u'/' && pos + 1 < text.size() && text.at(pos + 1) == u'>')) {
                break;
            }
            ++pos;
            word += c == u'&' ? readReference(text, pos) : QString(c);
        }
    }
    *end = pos;
    return word.toLower();
}

// The markup with every fixed-pitch element renamed. Every "<" is looked at, also those the
// reader takes for text of a comment or an attribute, where a new name shows nowhere.
QString withoutFixedPitchElements(const QString &html)
{
    QString renamed;
    qsizetype copied = 0;
    for (qsizetype open = html.indexOf(u'<'); open >= 0; open = html.indexOf(u'<', open + 1)) {
        // White space after "<" never comes here: withTextLessThansEscaped made that "<" text.
        qsizetype pos = open + 1;
        const bool closing = pos < html.size() && html.at(pos) == u'/';
        pos += closing ? 1 : 0;
        qsizetype end = pos;
        const QString name = readTagName(html, pos, &end);
        const FixedPitchElement *element = fixedPitchElement(closing ? name.trimmed() : name);
        if (!element) {
            continue;
        }
        renamed += QStringView(html).sliced(copied, pos - copied);
        renamed += closing ? element->closing : element->opening;
        copied = end;
        open = end - 1;
    }
    if (copied == 0) {
        return html;
    }
    renamed += QStringView(html).sliced(copied);
    return renamed;
}

// The reader sizes the fonts its markup names (headings, small and big text, font sizes in
// attributes and style sheets) from its document's default font, which has no size without a
// GUI application object: QFont then refuses each of them with a "QFont::setPixelSize: Pixel
// size <= 0" warning. It refuses a size or weight the text's own style gets wrong the same way,
// under any application object. No public interface gives the reader's document a font, and
// fonts never change the plain text, so those refusals are held back while the reader runs
// (on the main thread only, as all reading is); every other message passes on.
class FontRefusalsHeldBack
{
public:
    FontRefusalsHeldBack() { s_previous = qInstallMessageHandler(&pass); }
    ~FontRefusalsHeldBack() { qInstallMessageHandler(s_previous); }
    FontRefusalsHeldBack(const FontRefusalsHeldBack &) = delete;
    FontRefusalsHeldBack &operator=(const FontRefusalsHeldBack &) = delete;

private:
    static void pass(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (type == QtWarningMsg && message.startsWith(QLatin1StringView("QFont::set"))) {
            return;
        }
        s_previous(type, context, message);
    }
    static inline QtMessageHandler s_previous = nullptr;
};

// The reader takes every "<" for the start of a tag, and with it the text up to the next ">":
// "x < 3 and y > 2" would read "x  2". One that cannot open a tag reaches it as a reference,
// which it reads as the character itself.
QString withTextLessThansEscaped(const QString &html)
{
    QString escaped;
    qsizetype copied = 0;
    for (qsizetype open = html.indexOf(u'<'); open >= 0; open = html.indexOf(u'<', open + 1)) {
        if (canOpenTag(html, open)) {
            continue;
        }
        escaped += QStringView(html).sliced(copied, open - copied);
        escaped += QLatin1StringView("&lt;");
        copied = open + 1;
    }
    if (copied == 0) {
        return html;
    }
    escaped += QStringView(html).sliced(copied);
    return escaped;
}

bool mayUseReader(const QString &html)
{
    const qsizetype tags = html.count(u'<');
    return tags <= HtmlReaderBudget::maxTagsPerText && HtmlReaderBudget::take(tags);
}

} // namespace

std::optional<QString> plainTextWithoutMarkup(const QString &html)
{
    return collapseWhiteSpace(html, true);
}

QString plainTextFromHtml(const QString &html)
{
    if (std::optional<QString> plain = plainTextWithoutMarkup(html)) {
        return *plain;
    }
    if (mayUseReader(html)) {
        const WithoutResources resources;
        const FontRefusalsHeldBack heldBack;
        return QTextDocumentFragment::fromHtml(withoutFixedPitchElements(withTextLessThansEscaped(html)), &resources)
            .toPlainText();
    }
    return *collapseWhiteSpace(stringByUnescapingFromHTML(flattenHTML(html)), false);
}

HtmlReaderBudget::HtmlReaderBudget(qsizetype tags)
    : m_remaining(tags)
    , m_outer(innermostBudget)
{
    innermostBudget = this;
}

HtmlReaderBudget::~HtmlReaderBudget()
{
    innermostBudget = m_outer;
}

bool HtmlReaderBudget::take(qsizetype tags)
{
    if (!innermostBudget) {
        return true;
    }
    if (tags > innermostBudget->m_remaining) {
        return false;
    }
    innermostBudget->m_remaining -= tags;
    return true;
}
