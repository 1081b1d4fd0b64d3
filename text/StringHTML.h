#pragma once

// HTML helpers over UTF-16 strings: entity escaping and unescaping, and tag stripping.
// Every length and position is in UTF-16 code units, never in code points.

#include "text/EntityTables.h"

#include <QString>
#include <QStringView>

#include <cstddef>

// Escapes each code unit found in `table` (`size` bytes of rows sorted by code unit) as its
// reference and, when `escapingUnicode` is set, every other code unit above 127 as "&#N;".
// Works per code unit, so a surrogate pair becomes two numeric references.
// "é" with fullEntityTable and escaping on gives "&eacute;"; "😀" gives "&#55357;&#56832;".
// An empty receiver comes back as it is.
QString stringByEscapingHTMLUsingTable(const QString &receiver, const EntityEntry *table, std::size_t size,
                                       bool escapingUnicode);

// Replaces only the characters of specialEntityTable: "<a & b>" gives "&lt;a &amp; b&gt;".
QString stringByEscapingForHTML(const QString &receiver);

// Pure-ASCII result: named references from fullEntityTable, numeric ones for the rest above 127.
QString stringByEscapingForAsciiHTML(const QString &receiver);

// Numeric references for every code unit above 127 and nothing else: "é<" gives "&#233;<".
QString stringByEscapingUnicodeOnlyForHTML(const QString &receiver);

// Resolves named ("&amp;"), decimal ("&#8217;") and hexadecimal ("&#x2019;") references of 4 to
// 10 code units whose value is 1 to 65534; anything else stays as written. Each reference is
// resolved once, so "&amp;lt;" gives "&lt;". Without an ampersand the receiver itself is returned.
QString stringByUnescapingFromHTML(const QString &receiver);

// Whether the "<" at lessThan can start a tag. HTML reads one before white space, a digit or
// the end of the text as text: "x < 3", "I <3 you".
bool canOpenTag(QStringView text, qsizetype lessThan);

// Removes tags, leaving the text between them: "a<b>bold</b> text" gives "abold text".
// Each tag text found scanning forward, a "<" that can open a tag up to the next ">", is removed
// everywhere in the string, including where earlier removals joined pieces into it; a "<" without
// a later ">" stays, and so does every "<" that cannot open a tag: "x < 3 and y > 2" is left as it
// is. Without a removal the receiver itself is returned.
QString flattenHTML(const QString &receiver);
