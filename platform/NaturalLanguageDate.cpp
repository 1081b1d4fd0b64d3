#include "platform/NaturalLanguageDate.h"

#include <QTimeZone>

#include <array>
#include <string_view>

namespace {

// Dates in feeds are short; anything longer is not one, and is not worth scanning.
constexpr qsizetype kMaxLength = 256;
constexpr qint64 kUnixEpochJulianDay = 2440588;

struct Fields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int offsetSeconds = 0;
    QStringView zoneId; // a named time zone ("Etc/GMT") to look up instead of the offset
};

// Walks the text one UTF-16 unit at a time; past the end it reads as 0.
class Cursor
{
public:
    explicit Cursor(QStringView text)
        : m_text(text)
    {
    }

    char16_t peek(qsizetype ahead = 0) const
    {
        return m_position + ahead < m_text.size() ? m_text[m_position + ahead].unicode() : 0;
    }
    bool atEnd() const { return m_position >= m_text.size(); }
    void skip(qsizetype count = 1) { m_position += count; }
    bool take(char16_t c)
    {
        if (peek() != c) {
            return false;
        }
        ++m_position;
        return true;
    }
    bool isDigit(qsizetype ahead = 0) const { return peek(ahead) >= u'0' && peek(ahead) <= u'9'; }
    bool isLetter(qsizetype ahead = 0) const
    {
        const char16_t c = peek(ahead) | 0x20;
        return c >= u'a' && c <= u'z';
    }
    bool isSpace() const { return !atEnd() && m_text[m_position].isSpace(); }
    void skipSpaces()
    {
        while (isSpace()) {
            ++m_position;
        }
    }
    qsizetype digitRun() const
    {
        qsizetype count = 0;
        while (isDigit(count)) {
            ++count;
        }
        return count;
    }
    // Reads exactly count digits (count < 10, so no overflow).
    int number(qsizetype count)
    {
        int value = 0;
        for (qsizetype i = 0; i < count; ++i) {
            value = value * 10 + (peek() - u'0');
            ++m_position;
        }
        return value;
    }
    // Letters, or a time zone identifier such as "Etc/GMT+5" or "America/Port-au-Prince".
    QStringView word()
    {
        const qsizetype start = m_position;
        bool zoneId = false;
        while (isLetter() || peek() == u'_' || peek() == u'/'
               || (zoneId && (isDigit() || peek() == u'+' || peek() == u'-'))) {
            zoneId = zoneId || peek() == u'/';
            ++m_position;
        }
        return m_text.sliced(start, m_position - start);
    }

private:
    QStringView m_text;
    qsizetype m_position = 0;
};

int twoDigitYear(int year)
{
    return year < 50 ? 2000 + year : 1900 + year; // RFC 2822, section 4.3
}

bool setOrdinalDay(Fields &fields, int dayOfYear)
{
    const QDate first(fields.year, 1, 1);
    if (!first.isValid() || dayOfYear < 1 || dayOfYear > first.daysInYear()) {
        return false;
    }
    const QDate date = first.addDays(dayOfYear - 1);
    fields.month = date.month();
    fields.day = date.day();
    return true;
}

bool readOffset(Cursor &cursor, int &offsetSeconds)
{
    const int sign = cursor.peek() == u'-' ? -1 : 1;
    cursor.skip();
    int hours = 0;
    int minutes = 0;
    const qsizetype digits = cursor.digitRun();
    if (digits == 4) {
        hours = cursor.number(2);
        minutes = cursor.number(2);
    } else if (digits == 1 || digits == 2) {
        hours = cursor.number(digits);
        if (cursor.take(u':')) {
            if (cursor.digitRun() != 2) {
                return false;
            }
            minutes = cursor.number(2);
        }
    } else {
        return false;
    }
    if (hours > 23 || minutes > 59) {
        return false;
    }
    offsetSeconds = sign * (hours * 3600 + minutes * 60);
    return true;
}

struct ZoneName {
    std::string_view name;
    int minutes;
};

// RFC 822 names and the abbreviations feeds commonly use. "AT", "ET", "CT", "MT" and "PT"
// are written for the standard times of the North American zones.
constexpr std::array kZones {
    ZoneName {"ut", 0},      ZoneName {"utc", 0},    ZoneName {"gmt", 0},     ZoneName {"z", 0},
    ZoneName {"est", -300},  ZoneName {"edt", -240}, ZoneName {"cst", -360},  ZoneName {"cdt", -300},
    ZoneName {"mst", -420},  ZoneName {"mdt", -360}, ZoneName {"pst", -480},  ZoneName {"pdt", -420},
    ZoneName {"ast", -240},  ZoneName {"adt", -180}, ZoneName {"nst", -210},  ZoneName {"ndt", -150},
    ZoneName {"akst", -540}, ZoneName {"akdt", -480}, ZoneName {"hst", -600}, ZoneName {"at", -240},
    ZoneName {"et", -300},   ZoneName {"ct", -360},  ZoneName {"mt", -420},   ZoneName {"pt", -480},
    ZoneName {"wet", 0},     ZoneName {"west", 60},  ZoneName {"bst", 60},    ZoneName {"cet", 60},
    ZoneName {"met", 60},    ZoneName {"mez", 60},   ZoneName {"cest", 120},  ZoneName {"mest", 120},
    ZoneName {"mesz", 120},  ZoneName {"eet", 120},  ZoneName {"eest", 180},  ZoneName {"msk", 180},
    ZoneName {"ist", 330},   ZoneName {"hkt", 480},  ZoneName {"sgt", 480},   ZoneName {"awst", 480},
    ZoneName {"jst", 540},   ZoneName {"kst", 540},  ZoneName {"acst", 570},  ZoneName {"aest", 600},
    ZoneName {"aedt", 660},  ZoneName {"nzst", 720}, ZoneName {"nzdt", 780},
};

constexpr std::array<std::string_view, 12> kMonths {"january", "february", "march",     "april",   "may",      "june",
                                                    "july",    "august",   "september", "october", "november", "december"};
constexpr std::array<std::string_view, 7> kWeekdays {"monday", "tuesday",  "wednesday", "thursday",
                                                     "friday", "saturday", "sunday"};

// The word in ASCII lower case, or "" when it is too long to be one we know.
std::string_view lowerCase(QStringView word, std::array<char, 16> &buffer)
{
    if (word.size() > qsizetype(buffer.size())) {
        return {};
    }
    for (qsizetype i = 0; i < word.size(); ++i) {
        buffer[size_t(i)] = char(word[i].unicode() | 0x20);
    }
    return std::string_view(buffer.data(), size_t(word.size()));
}

// Index of the name that the word abbreviates ("Sept", "Thurs"), from three letters on.
template<size_t N>
int abbreviationIndex(std::string_view word, const std::array<std::string_view, N> &names)
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

std::optional<int> zoneMinutes(std::string_view word)
{
    for (const ZoneName &zone : kZones) {
        if (zone.name == word) {
            return zone.minutes;
        }
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

std::optional<QDateTime> toUtc(const Fields &fields)
{
    const QDate date(fields.year, fields.month, fields.day);
    if (!date.isValid()) {
        return std::nullopt;
    }
    const qint64 secondOfDay = fields.hour * 3600 + fields.minute * 60 + fields.second;
    if (!fields.zoneId.isEmpty()) {
        const QTimeZone zone(fields.zoneId.toLatin1());
        if (!zone.isValid()) {
            return std::nullopt;
        }
        return QDateTime(date, QTime(0, 0), zone).addSecs(secondOfDay).toUTC();
    }
    const qint64 seconds = (date.toJulianDay() - kUnixEpochJulianDay) * 86400 + secondOfDay - fields.offsetSeconds;
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

bool validTime(const Fields &fields)
{
    // 24:00:00 is the end of a day; second 60 is a leap second. Both roll over when added.
    const bool endOfDay = fields.hour == 24 && fields.minute == 0 && fields.second == 0;
    return (fields.hour < 24 || endOfDay) && fields.minute < 60 && fields.second <= 60;
}


// W3C-DTF and ISO 8601 dates: the calendar, ordinal and compact forms, the truncated
// two-digit-year forms ("-0312", "03-12-31"), and a time after "T", "t" or a space.
bool readIsoDay(Cursor &cursor, Fields &fields)
{
    if (cursor.take(u'-')) { // "-YY", "-YYMM", "-YY-MM": a month of this century's year
        const qsizetype digits = cursor.digitRun();
        if (digits != 2 && digits != 4) {
            return false;
        }
        fields.year = twoDigitYear(cursor.number(2));
        fields.month = digits == 4 ? cursor.number(2) : 1;
        if (digits == 2 && cursor.take(u'-')) {
            if (cursor.digitRun() != 2) {
                return false;
            }
            fields.month = cursor.number(2);
        }
        fields.day = 1;
        return true;
    }
    const qsizetype digits = cursor.digitRun();
    switch (digits) {
    case 8: // YYYYMMDD
        fields.year = cursor.number(4);
        fields.month = cursor.number(2);
        fields.day = cursor.number(2);
        return true;
    case 7: // YYYYDDD
        fields.year = cursor.number(4);
        return setOrdinalDay(fields, cursor.number(3));
    case 6: // YYMMDD
        fields.year = twoDigitYear(cursor.number(2));
        fields.month = cursor.number(2);
        fields.day = cursor.number(2);
        return true;
    case 5: // YYDDD
        fields.year = twoDigitYear(cursor.number(2));
        return setOrdinalDay(fields, cursor.number(3));
    case 4:
    case 2:
        fields.year = digits == 4 ? cursor.number(4) : twoDigitYear(cursor.number(2));
        fields.month = 1;
        fields.day = 1;
        if (!cursor.take(u'-')) {
            return digits == 4;
        }
        break;
    default:
        return false;
    }
    const qsizetype monthDigits = cursor.digitRun();
    // A three-digit month ("2003-012-31") is a known producer's mistake; without a day it is
    // an ordinal date.
    if (monthDigits == 3 && cursor.peek(3) == u'-' && cursor.peek() == u'0') {
        cursor.skip();
    } else if (monthDigits == 3) {
        return setOrdinalDay(fields, cursor.number(3));
    } else if (monthDigits != 2) {
        return false;
    }
    fields.month = cursor.number(2);
    if (!cursor.take(u'-')) {
        return digits == 4;
    }
    if (cursor.digitRun() != 2) {
        return false;
    }
    fields.day = cursor.number(2);
    return true;
}

bool readIsoTime(Cursor &cursor, Fields &fields)
{
    const qsizetype digits = cursor.digitRun();
    if (digits != 2 && digits != 4 && digits != 6) {
        return false;
    }
    fields.hour = cursor.number(2);
    if (digits >= 4 || cursor.take(u':')) {
        if (cursor.digitRun() < 2) {
            return false;
        }
        fields.minute = cursor.number(2);
        if (digits == 6 || (digits == 2 && cursor.take(u':'))) {
            if (cursor.digitRun() < 2) {
                return false;
            }
            fields.second = cursor.number(2);
            if (cursor.take(u'.') || cursor.take(u',')) {
                if (cursor.digitRun() == 0) {
                    return false;
                }
                cursor.skip(cursor.digitRun()); // fractions are dropped, not rounded
            }
        }
    }
    if (cursor.digitRun() != 0 || !validTime(fields)) {
        return false;
    }
    cursor.skipSpaces();
    if (cursor.take(u'Z') || cursor.take(u'z')) {
        return true;
    }
    if (cursor.peek() == u'+' || cursor.peek() == u'-') {
        return readOffset(cursor, fields.offsetSeconds);
    }
    if (cursor.isLetter()) {
        std::array<char, 16> buffer;
        const std::string_view name = lowerCase(cursor.word(), buffer);
        for (const ZoneName &zone : kZones) {
            if (zone.name == name) {
                fields.offsetSeconds = zone.minutes * 60;
                return true;
            }
        }
        return false;
    }
    return true;
}

std::optional<Fields> readIso(QStringView text)
{
    Cursor cursor(text);
    Fields fields;
    if (!readIsoDay(cursor, fields)) {
        return std::nullopt;
    }
    const bool timeFollows = cursor.peek() == u'T' || cursor.peek() == u't'
        || (cursor.peek() == u' ' && cursor.isDigit(1));
    if (timeFollows) {
        cursor.skip();
        if (!readIsoTime(cursor, fields)) {
            return std::nullopt;
        }
    }
    cursor.skipSpaces();
    if (!cursor.atEnd()) {
        return std::nullopt;
    }
    return fields;
}

// Text made only of digits, signs and the letters of ISO 8601 is either an ISO date or none:
// reading it as words would only find numbers in a wrong order.
bool looksNumeric(QStringView text)
{
    for (QChar c : text) {
        if (!c.isDigit() && !c.isSpace() && !QStringView(u"-+:.,TtZz").contains(c)) {
            return false;
        }
    }
    return true;
}

// RFC 822 dates and English ones: words, numbers, a time and a zone, in any usual order.
class WordReader
{
public:
    explicit WordReader(QStringView text)
        : m_cursor(text)
    {
    }

    std::optional<Fields> read()
    {
        while (true) {
            while (m_cursor.isSpace() || m_cursor.peek() == u',' || m_cursor.peek() == u'.') {
                m_cursor.skip();
            }
            if (m_cursor.atEnd()) {
                break;
            }
            if (!readToken()) {
                return std::nullopt;
            }
        }
        if (m_fields.year == 0 || m_fields.month == 0) {
            return std::nullopt;
        }
        if (m_fields.day == 0) {
            m_fields.day = 1;
        }
        return m_fields;
    }

private:
    bool readToken()
    {
        const char16_t c = m_cursor.peek();
        if (c == u'(') {
            return skipComment();
        }
        if (m_cursor.isLetter()) {
            return readWord(m_cursor.word());
        }
        if (m_cursor.isDigit()) {
            return readNumber();
        }
        if ((c == u'+' || c == u'-') && m_cursor.isDigit(1) && (m_haveTime || m_zoneTakesOffset)) {
            return readZoneOffset();
        }
        if (c == u'-' && !m_haveTime) { // "06-Nov-94"
            m_cursor.skip();
            return true;
        }
        return false;
    }

    // RFC 822 comments, which may nest: "(Eastern Standard Time)".
    bool skipComment()
    {
        int depth = 0;
        do {
            if (m_cursor.peek() == u'(') {
                ++depth;
            } else if (m_cursor.peek() == u')') {
                --depth;
            }
            m_cursor.skip();
        } while (depth > 0 && !m_cursor.atEnd());
        return depth == 0;
    }

    bool readWord(QStringView original)
    {
        std::array<char, 16> buffer;
        const std::string_view word = lowerCase(original, buffer);
        m_zoneTakesOffset = false;
        if (abbreviationIndex(word, kWeekdays) >= 0) {
            return true;
        }
        if (const int month = abbreviationIndex(word, kMonths); month >= 0) {
            return setOnce(m_fields.month, month + 1);
        }
        if ((word == "am" || word == "pm") && m_haveTime && m_fields.hour >= 1 && m_fields.hour <= 12) {
            m_fields.hour = m_fields.hour % 12 + (word == "pm" ? 12 : 0);
            return true;
        }
        if (!m_haveTime) {
            return word == "at" || word == "on" || word == "of" || word == "the";
        }
        if (m_haveZone) {
            return false;
        }
        m_haveZone = true;
        if (original.contains(u'/')) {
            m_fields.zoneId = original;
            return true;
        }
        const std::optional<int> minutes = zoneMinutes(word);
        if (!minutes) {
            return false;
        }
        m_fields.offsetSeconds = *minutes * 60;
        m_zoneTakesOffset = word == "gmt" || word == "utc" || word == "ut";
        return true;
    }

    bool readNumber()
    {
        const qsizetype digits = m_cursor.digitRun();
        if (digits == 4 && (m_cursor.peek(4) == u'/' || m_cursor.peek(4) == u'-') && m_cursor.isDigit(5)) {
            return readNumericDate();
        }
        if (digits > 4) {
            return false;
        }
        const int value = m_cursor.number(digits);
        if (m_cursor.peek() == u':') {
            return readTime(value);
        }
        if (digits >= 3 || value > 31) {
            return setOnce(m_fields.year, digits == 4 ? value : digits == 3 ? 1900 + value : twoDigitYear(value));
        }
        if (readOrdinalSuffix() || m_fields.day == 0) {
            return setOnce(m_fields.day, value);
        }
        return digits == 2 && setOnce(m_fields.year, twoDigitYear(value));
    }

    bool readOrdinalSuffix()
    {
        if (!m_cursor.isLetter() || !m_cursor.isLetter(1) || m_cursor.isLetter(2)) {
            return false;
        }
        std::array<char, 16> buffer;
        Cursor peek = m_cursor;
        const std::string_view suffix = lowerCase(peek.word(), buffer);
        if (suffix != "st" && suffix != "nd" && suffix != "rd" && suffix != "th") {
            return false;
        }
        m_cursor.skip(2);
        return true;
    }

    // "2006/09/15" or "2006-09-15", year first: other orders are ambiguous.
    bool readNumericDate()
    {
        const int year = m_cursor.number(4);
        const char16_t separator = m_cursor.peek();
        m_cursor.skip();
        const qsizetype monthDigits = m_cursor.digitRun();
        if (monthDigits > 2 || !setOnce(m_fields.year, year) || !setOnce(m_fields.month, m_cursor.number(monthDigits))
            || !m_cursor.take(separator)) {
            return false;
        }
        const qsizetype dayDigits = m_cursor.digitRun();
        return dayDigits >= 1 && dayDigits <= 2 && setOnce(m_fields.day, m_cursor.number(dayDigits));
    }

    bool readTime(int hour)
    {
        if (m_haveTime) {
            return false;
        }
        m_haveTime = true;
        m_fields.hour = hour;
        int *parts[] = {&m_fields.minute, &m_fields.second};
        for (int *part : parts) {
            if (part == &m_fields.second && m_cursor.peek() != u':') {
                break;
            }
            m_cursor.skip();
            const qsizetype digits = m_cursor.digitRun();
            if (digits < 1 || digits > 2) {
                return false;
            }
            *part = m_cursor.number(digits);
        }
        if (m_cursor.peek() == u'.' && m_cursor.isDigit(1)) {
            m_cursor.skip();
            m_cursor.skip(m_cursor.digitRun());
        }
        return m_cursor.peek() != u':' && validTime(m_fields);
    }

    bool readZoneOffset()
    {
        if (m_haveZone && !m_zoneTakesOffset) {
            return false;
        }
        m_haveZone = true;
        m_zoneTakesOffset = false;
        return readOffset(m_cursor, m_fields.offsetSeconds);
    }

    static bool setOnce(int &field, int value)
    {
        if (field != 0) {
            return false;
        }
        field = value;
        return true;
    }

    Cursor m_cursor;
    Fields m_fields;
    bool m_haveTime = false;
    bool m_haveZone = false;
    bool m_zoneTakesOffset = false; // "GMT-01:01": the named zone is the base of an offset
};

std::optional<Fields> readWords(QStringView text)
{
    return WordReader(text).read();
}

} // namespace

std::optional<QDateTime> dateWithNaturalLanguageString(const QString &text)
{
    const QStringView trimmed = QStringView(text).trimmed();
    if (trimmed.isEmpty() || trimmed.size() > kMaxLength) {
        return std::nullopt;
    }
    std::optional<Fields> fields = readIso(trimmed);
    if (!fields && !looksNumeric(trimmed)) {
        fields = readWords(trimmed);
    }
    return fields ? toUtc(*fields) : std::nullopt;
}
