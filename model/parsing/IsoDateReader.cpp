#include "model/parsing/IsoDateReader.h"

#include "model/parsing/DateCursor.h"
#include "model/parsing/DateNames.h"

namespace {

bool readIsoDay(DateCursor &cursor, DateFields &fields)
{
    if (cursor.take(u'-')) { // "-YY", "-YYMM", "-YY-MM": truncated forms with a two-digit year
        const qsizetype digits = cursor.digitRun();
        if (digits != 2 && digits != 4) {
            return false;
        }
        fields.year = DateFields::yearFromTwoDigits(cursor.number(2));
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
        return fields.setOrdinalDay(cursor.number(3));
    case 6: // YYMMDD
        fields.year = DateFields::yearFromTwoDigits(cursor.number(2));
        fields.month = cursor.number(2);
        fields.day = cursor.number(2);
        return true;
    case 5: // YYDDD
        fields.year = DateFields::yearFromTwoDigits(cursor.number(2));
        return fields.setOrdinalDay(cursor.number(3));
    case 4:
    case 2:
        fields.year = digits == 4 ? cursor.number(4) : DateFields::yearFromTwoDigits(cursor.number(2));
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
        return fields.setOrdinalDay(cursor.number(3));
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

bool readIsoTime(DateCursor &cursor, DateFields &fields)
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
    if (cursor.digitRun() != 0 || !fields.hasValidTime()) {
        return false;
    }
    cursor.skipSpaces();
    if (cursor.take(u'Z') || cursor.take(u'z')) {
        return true;
    }
    if (cursor.peek() == u'+' || cursor.peek() == u'-') {
        return cursor.readOffset(fields.offsetSeconds);
    }
    if (cursor.isLetter()) {
        std::array<char, 16> buffer;
        const std::optional<int> minutes = DateNames::knownZoneMinutes(DateNames::lowerCase(cursor.word(), buffer));
        fields.offsetSeconds = minutes.value_or(0) * 60;
        return minutes.has_value();
    }
    return true;
}

} // namespace

std::optional<DateFields> IsoDateReader::read(QStringView text)
{
    DateCursor cursor(text);
    DateFields fields;
    if (!readIsoDay(cursor, fields)) {
        return std::nullopt;
    }
    const bool timeFollows =
        cursor.peek() == u'T' || cursor.peek() == u't' || (cursor.peek() == u' ' && cursor.isDigit(1));
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

bool IsoDateReader::looksNumeric(QStringView text)
{
    for (QChar c : text) {
        if (!c.isDigit() && !c.isSpace() && !QStringView(u"-+:.,TtZz").contains(c)) {
            return false;
        }
    }
    return true;
}

// RFC 822 dates and English ones: words, numbers, a time and a zone, in any usual order.
