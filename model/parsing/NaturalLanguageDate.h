#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// Reads a date written in a feed and gives the instant it names, in UTC, or no value when the
// text names no date. It reads:
// - RFC 822/2822 date-times, with or without weekday and seconds, two-digit years, the
//   obsolete zone names (GMT, EST, ..., military letters), numeric offsets and comments:
//   "Thu, 01 Jan 04 19:48:21 GMT", "5 Apr 2012 10:00 -0500 (EST)";
// - W3C-DTF, ISO 8601 and RFC 3339 forms, from a year alone to fractional seconds with an
//   offset, also with a space or a lower-case "t" between date and time, ordinal dates and
//   the compact forms: "2003", "2003-12-31T10:14:55.1234+01:00", "20031231", "2003-335";
// - plain English dates: "January 26, 2004 4:31 PM EST", "Sun Jan  4 16:29:06 PST 2004".
// A date without zone is taken as UTC; a partial date means its first instant; fractions of
// a second are dropped. Out-of-range fields ("25:14:55", "31 Feb") give no value.
std::optional<QDateTime> dateWithNaturalLanguageString(const QString &text);
