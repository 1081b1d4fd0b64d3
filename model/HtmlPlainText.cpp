#include "model/HtmlPlainText.h"

#include <QGuiApplication>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include "text/StringHTML.h"

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

bool mayUseReader(const QString &html)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        return false;
    }
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
        return QTextDocumentFragment::fromHtml(html, &resources).toPlainText();
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
