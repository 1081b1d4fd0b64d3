#pragma once

#include <QString>

// How menu titles read. Entry titles come from feeds and may hold tabs and line breaks, which
// a menu cannot show (Qt even takes a tab for the start of a shortcut's text), and bidirectional
// controls, which would reorder the title and what the menu puts beside it.
namespace MenuTitles {
// Each display control (tab, line break, bidirectional control, ...) becomes one space; those at
// the end are dropped. "A\tB\r\n" gives "A B".
QString asRead(const QString &title);
// The text for a QAction: as read, "&" doubled so that Qt shows it instead of taking it for a
// mnemonic, and cut with an ellipsis after maxCharacters.
QString forAction(const QString &title, qsizetype maxCharacters = 80);
} // namespace MenuTitles
