#pragma once

#include <QStringView>

#include <array>
#include <optional>
#include <string_view>

// The words of English and RFC 822 dates: months, weekdays and time zone names.
namespace DateNames {

// The word in ASCII lower case, kept in buffer; "" when it is too long to be a known word.
std::string_view lowerCase(QStringView word, std::array<char, 16> &buffer);

// 1 to 12 for a month name or its abbreviation from three letters on ("Sept"), else 0.
int month(std::string_view lowerCaseWord);
bool isWeekday(std::string_view lowerCaseWord);

// Minutes east of UTC for a zone name in the table ("est", "cest"), or no value.
std::optional<int> knownZoneMinutes(std::string_view lowerCaseWord);
// Also reads military letters and other alphabetic zones the way RFC 2822 asks.
std::optional<int> zoneMinutes(std::string_view lowerCaseWord);

} // namespace DateNames
