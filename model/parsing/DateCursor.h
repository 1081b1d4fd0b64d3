#pragma once

#include <QDate>
#include <QStringView>

// The fields of a date as written, before they become an instant. Zero means "not read".
struct DateFields
{
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int offsetSeconds = 0;
    QStringView zoneId; // a named time zone ("Etc/GMT") to look up instead of the offset

    static int yearFromTwoDigits(int year)
    {
        return year < 50 ? 2000 + year : 1900 + year; // RFC 2822, section 4.3
    }

    bool setOrdinalDay(int dayOfYear)
    {
        const QDate first(year, 1, 1);
        if (!first.isValid() || dayOfYear < 1 || dayOfYear > first.daysInYear()) {
            return false;
        }
        const QDate date = first.addDays(dayOfYear - 1);
        month = date.month();
        day = date.day();
        return true;
    }

    bool hasValidTime() const
    {
        // 24:00:00 is the end of a day; second 60 is a leap second. Both roll over when added.
        const bool endOfDay = hour == 24 && minute == 0 && second == 0;
        return (hour < 24 || endOfDay) && minute < 60 && second <= 60;
    }
};

// Walks date text one UTF-16 unit at a time; past the end it reads as 0.
class DateCursor
{
public:
    explicit DateCursor(QStringView text)
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

    // "+0100", "-05:00", "+1": hours up to 23 and minutes up to 59, as seconds east of UTC.
    bool readOffset(int &offsetSeconds)
    {
        const int sign = peek() == u'-' ? -1 : 1;
        skip();
        int hours = 0;
        int minutes = 0;
        const qsizetype digits = digitRun();
        if (digits == 4) {
            hours = number(2);
            minutes = number(2);
        } else if (digits == 1 || digits == 2) {
            hours = number(digits);
            if (take(u':')) {
                if (digitRun() != 2) {
                    return false;
                }
                minutes = number(2);
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

private:
    QStringView m_text;
    qsizetype m_position = 0;
};
