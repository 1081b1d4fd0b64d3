#pragma once

#include "model/parsing/DateCursor.h"

#include <optional>

// Reads RFC 822 dates and English ones as a run of words, numbers, one time and one zone, in
// any of the usual orders: "Thu, 01 Jan 04 19:48:21 GMT", "Sun Jul 15 01:16:00 +0000 2012",
// "Monday, January 26th, 2004 at 4:31 PM EST". Any word it does not know makes it give up.
class WordDateReader
{
public:
    static std::optional<DateFields> read(QStringView text);

private:
    explicit WordDateReader(QStringView text);

    std::optional<DateFields> readAll();
    bool readToken();
    bool skipComment();
    bool readWord(QStringView original);
    bool readNumber();
    bool readOrdinalSuffix();
    bool readNumericDate();
    bool readTime(int hour);
    bool readZoneOffset();
    static bool setOnce(int &field, int value);

    DateCursor m_cursor;
    DateFields m_fields;
    bool m_haveTime = false;
    bool m_haveZone = false;
    bool m_zoneTakesOffset = false; // "GMT-01:01": the named zone is the base of an offset
};
