#pragma once

#include <QString>
#include <QStringList>

namespace TestSupport {

// The text the parser hands to each entry of every corpus feed: the titles, descriptions and
// contents with their tags stripped and references resolved.
QStringList corpusEntryTexts();

// Entry markup as malformed as feeds write it: block and inline elements opened, closed and
// misnested at random among text, white space, references and comments, with the
// fixed-pitch elements also named in upper case, quoted, through references and after
// white space.
QStringList randomMarkup(quint32 seed, int count);

// Invisible characters as tags, so that a failure shows what differs.
QString visible(const QString &text);

} // namespace TestSupport
