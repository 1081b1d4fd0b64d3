#pragma once

#include <QString>

#include <optional>

// The plain text of an entry's HTML as the desktop's HTML reader renders it: markup
// dropped, character references resolved, runs of white space collapsed to one space
// (leading white space dropped, trailing kept as one space), non-breaking spaces made
// plain and paragraph breaks made line breaks. "<p>a &amp;  b</p>" gives "a & b". A "<"
// that cannot open a tag (before white space, a digit or the end) is text: "x < 3" stays.
// The reader loads nothing the text names (style sheets, images), and reads the same with
// or without a GUI application object, so the tray and the command line store the same
// text. Text the reader may not take on (see HtmlReaderBudget) is rendered by stripping
// its tags and resolving its references instead, with white space collapsed the same way.
QString plainTextFromHtml(const QString &html);

// The same result, computed without the HTML reader, for text that holds no markup, no
// paragraph break and no ampersand the reader could take for a reference; no value for
// any other text. Text reaching an entry has normally lost its markup already, and the
// reader costs tens of microseconds per tag, so this decides most entries.
std::optional<QString> plainTextWithoutMarkup(const QString &html);

// Bounds the markup the HTML reader takes on while the budget lives, for one feed document:
// the reader costs about ten microseconds per tag, and far more for deeply nested tables and
// lists, so a hostile document could otherwise stall the program for minutes. A single text
// with more than maxTagsPerText tags is never given to the reader.
class HtmlReaderBudget
{
public:
    static constexpr qsizetype maxTagsPerText = 1000;

    explicit HtmlReaderBudget(qsizetype tags);
    ~HtmlReaderBudget();
    HtmlReaderBudget(const HtmlReaderBudget &) = delete;
    HtmlReaderBudget &operator=(const HtmlReaderBudget &) = delete;

    // Takes tags from the innermost live budget; false, taking nothing, when they exceed what is left.
    static bool take(qsizetype tags);

private:
    qsizetype m_remaining;
    HtmlReaderBudget *m_outer;
};
