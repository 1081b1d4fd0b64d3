#pragma once

#include <QByteArray>

// The document with each ampersand that starts no entity or character reference written as
// "&amp;", as HTML readers take it: "?a=1&b=2" in a feed's link stays that link. libxml2 alone
// drops the ampersand and the name after it ("?a=1=2"). Character data sections, comments and
// processing instructions are left alone, and so is text in encodings where an '&' byte need
// not be an ampersand (UTF-16, UTF-32, ISO-2022): there the data comes back unchanged.
QByteArray escapeBareAmpersands(const QByteArray &data);
