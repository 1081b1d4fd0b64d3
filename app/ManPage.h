#pragma once

#include <QString>

// The program's manual page, in the man macros of roff, made from the same parts as its --help.
namespace ManPage {

QString text(const QString &version);

// Text as roff reads it literally: backslashes escaped, the dashes of options made minus signs
// (so that they can be copied into a terminal) and the options set in bold.
QString escaped(const QString &text);

} // namespace ManPage
