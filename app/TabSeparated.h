#pragma once

#include <QStringList>

// The line-per-record output of the commands: fields joined by tabs, with every character
// that could break a record's line or steer the terminal made a space, so that each record
// stays one line of fields and text from feeds cannot rewrite what the user sees.
namespace TabSeparated {

// Tabs, line and paragraph breaks of any kind (C0, U+0085, U+2028, U+2029), escapes and the
// other controls (C0, DEL, C1), and the bidirectional controls that could reorder the fields
// on screen. Other format characters stay: zero-width joiners belong to emoji and scripts.
inline bool needsBlanking(QChar c)
{
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

inline QString line(const QStringList &fields)
{
    QStringList cleaned;
    cleaned.reserve(fields.size());
    for (QString field : fields) {
        for (QChar &c : field) {
            if (needsBlanking(c)) {
                c = QLatin1Char(' ');
            }
        }
        cleaned.append(field);
    }
    return cleaned.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

} // namespace TabSeparated
