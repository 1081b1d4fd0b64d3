#pragma once

#include <QChar>

// Characters of feed text that must not reach a line of the terminal or a menu as they are:
// they could break the line or steer the display, so that text from feeds rewrote what the user
// sees next to it.
namespace DisplayControls {

// Tabs, line and paragraph breaks of any kind (C0, U+0085, U+2028, U+2029), escapes and the
// other controls (C0, DEL, C1), and the bidirectional controls that could reorder the text
// around them on screen. Other format characters stay: zero-width joiners belong to emoji and
// scripts.
inline bool needsBlanking(QChar c)
{
    // Printable ASCII, nearly all of most titles, needs no look-up in the Unicode tables.
    if (c.unicode() >= 0x20 && c.unicode() < 0x7F) {
        return false;
    }
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    case QChar::Other_Format: {
        const char16_t u = c.unicode();
        return u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E)
            || (u >= 0x2066 && u <= 0x2069);
    }
    default:
        return false;
    }
}

} // namespace DisplayControls
