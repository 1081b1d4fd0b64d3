#pragma once

#include "model/parsing/DateCursor.h"

#include <optional>

// W3C-DTF and ISO 8601 dates: the calendar, ordinal and compact forms, the truncated
// two-digit-year forms ("-0312", "03-12-31"), and a time after "T", "t" or a space, with
// "Z", an offset or a zone name.
namespace IsoDateReader {

std::optional<DateFields> read(QStringView text);

// Text made only of digits, signs and the letters of ISO 8601 is either an ISO date or none:
// reading it as words would only find numbers in a wrong order.
bool looksNumeric(QStringView text);

} // namespace IsoDateReader
