#include "model/parsing/DateNames.h"

namespace {

struct ZoneName
{
    std::string_view name;
    int minutes;
};

// RFC 822 names and the abbreviations feeds commonly use. "AT", "ET", "CT", "MT" and "PT"
// are written for the standard times of the North American zones.
constexpr std::array kZones{
    ZoneName{"ut", 0},     ZoneName{"utc", 0},     ZoneName{"gmt", 0},     ZoneName{"z", 0},      ZoneName{"est", -300},
    ZoneName{"edt", -240}, ZoneName{"cst", -360},  ZoneName{"cdt", -300},  ZoneName{"mst", -420}, ZoneName{"mdt", -360},
    ZoneName{"pst", -480}, ZoneName{"pdt", -420},  ZoneName{"ast", -240},  ZoneName{"adt", -180}, ZoneName{"nst", -210},
    ZoneName{"ndt", -150}, ZoneName{"akst", -540}, ZoneName{"akdt", -480}, ZoneName{"hst", -600}, ZoneName{"at", -240},
    ZoneName{"et", -300},  ZoneName{"ct", -360},   ZoneName{"mt", -420},   ZoneName{"pt", -480},  ZoneName{"wet", 0},
    ZoneName{"west", 60},  ZoneName{"bst", 60},    ZoneName{"cet", 60},    ZoneName{"met", 60},   ZoneName{"mez", 60},
    ZoneName{"cest", 120}, ZoneName{"mest", 120},  ZoneName{"mesz", 120},  ZoneName{"eet", 120},  ZoneName{"eest", 180},
    ZoneName{"msk", 180},  ZoneName{"ist", 330},   ZoneName{"hkt", 480},   ZoneName{"sgt", 480},  ZoneName{"awst", 480},
    ZoneName{"jst", 540},  ZoneName{"kst", 540},   ZoneName{"acst", 570},  ZoneName{"aest", 600}, ZoneName{"aedt", 660},
    ZoneName{"nzst", 720}, ZoneName{"nzdt", 780},
};

constexpr std::array<std::string_view, 12> kMonths{"january",   "february", "march",    "april",
                                                   "may",       "june",     "july",     "august",
                                                   "september", "october",  "november", "december"};
constexpr std::array<std::string_view, 7> kWeekdays{"monday", "tuesday",  "wednesday", "thursday",
                                                    "friday", "saturday", "sunday"};

// Index of the name that the word abbreviates ("Sept", "Thurs"), from three letters on.
template<size_t N> int abbreviationIndex(std::string_view word, const std::array<std::string_view, N> &names)
{
    if (word.size() < 3) {
        return -1;
    }
    for (size_t i = 0; i < N; ++i) {
        if (names[i].substr(0, word.size()) == word) {
            return int(i);
        }
    }
    return -1;
}

} // namespace

std::string_view DateNames::lowerCase(QStringView word, std::array<char, 16> &buffer)
{
    if (word.size() > qsizetype(buffer.size())) {
        return {};
    }
    for (qsizetype i = 0; i < word.size(); ++i) {
        buffer[size_t(i)] = char(word[i].unicode() | 0x20);
    }
    return std::string_view(buffer.data(), size_t(word.size()));
}

int DateNames::month(std::string_view word)
{
    return abbreviationIndex(word, kMonths) + 1;
}

bool DateNames::isWeekday(std::string_view word)
{
    return abbreviationIndex(word, kWeekdays) >= 0;
}

std::optional<int> DateNames::knownZoneMinutes(std::string_view word)
{
    for (const ZoneName &zone : kZones) {
        if (zone.name == word) {
            return zone.minutes;
        }
    }
    return std::nullopt;
}

std::optional<int> DateNames::zoneMinutes(std::string_view word)
{
    if (const std::optional<int> known = knownZoneMinutes(word)) {
        return known;
    }
    // RFC 2822, section 4.3: military letters were defined with the wrong sign in RFC 822,
    // and other unknown alphabetic zones also carry no reliable meaning: both read as UTC.
    if (word.size() == 1 && word != "j") {
        return 0;
    }
    if (word.size() >= 3 && word.size() <= 5) {
        return 0;
    }
    return std::nullopt;
}
