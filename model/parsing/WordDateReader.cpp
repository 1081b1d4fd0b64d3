#include "model/parsing/WordDateReader.h"

#include "model/parsing/DateNames.h"

#include <array>

WordDateReader::WordDateReader(QStringView text)
    : m_cursor(text)
{
}

std::optional<DateFields> WordDateReader::read(QStringView text)
{
    return WordDateReader(text).readAll();
}

std::optional<DateFields> WordDateReader::readAll()
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

bool WordDateReader::readToken()
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
bool WordDateReader::skipComment()
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

bool WordDateReader::readWord(QStringView original)
{
    std::array<char, 16> buffer;
    const std::string_view word = DateNames::lowerCase(original, buffer);
    m_zoneTakesOffset = false;
    if (DateNames::isWeekday(word)) {
        return true;
    }
    if (const int month = DateNames::month(word); month > 0) {
        return setOnce(m_fields.month, month);
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
    const std::optional<int> minutes = DateNames::zoneMinutes(word);
    if (!minutes) {
        return false;
    }
    m_fields.offsetSeconds = *minutes * 60;
    m_zoneTakesOffset = word == "gmt" || word == "utc" || word == "ut";
    return true;
}

bool WordDateReader::readNumber()
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
        return setOnce(m_fields.year,
                       digits == 4       ? value
                           : digits == 3 ? 1900 + value
                                         : DateFields::yearFromTwoDigits(value));
    }
    if (readOrdinalSuffix() || m_fields.day == 0) {
        return setOnce(m_fields.day, value);
    }
    return digits == 2 && setOnce(m_fields.year, DateFields::yearFromTwoDigits(value));
}

bool WordDateReader::readOrdinalSuffix()
{
    if (!m_cursor.isLetter() || !m_cursor.isLetter(1) || m_cursor.isLetter(2)) {
        return false;
    }
    std::array<char, 16> buffer;
    DateCursor peek = m_cursor;
    const std::string_view suffix = DateNames::lowerCase(peek.word(), buffer);
    if (suffix != "st" && suffix != "nd" && suffix != "rd" && suffix != "th") {
        return false;
    }
    m_cursor.skip(2);
    return true;
}

// "2006/09/15" or "2006-09-15", year first: other orders are ambiguous.
bool WordDateReader::readNumericDate()
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

bool WordDateReader::readTime(int hour)
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
    return m_cursor.peek() != u':' && m_fields.hasValidTime();
}

bool WordDateReader::readZoneOffset()
{
    if (m_haveZone && !m_zoneTakesOffset) {
        return false;
    }
    m_haveZone = true;
    m_zoneTakesOffset = false;
    return m_cursor.readOffset(m_fields.offsetSeconds);
}

bool WordDateReader::setOnce(int &field, int value)
{
    if (field != 0) {
        return false;
    }
    field = value;
    return true;
}
