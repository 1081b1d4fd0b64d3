#include "model/FeedScheduleHints.h"

#include <QStringList>

#include <algorithm>
#include <limits>

#include "model/parsing/NaturalLanguageDate.h"
#include "model/parsing/XmlNode.h"

namespace {

constexpr int firstDayBit = 24;

// A whole number of at least zero, however many digits it has (those beyond 64 bits read as
// the largest); nothing for anything else.
std::optional<qint64> wholeNumber(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !std::all_of(trimmed.cbegin(), trimmed.cend(), [](QChar c) { return c.isDigit(); })) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 number = trimmed.toLongLong(&ok);
    return ok ? number : std::numeric_limits<qint64>::max();
}

std::optional<qint64> periodSeconds(const QString &text)
{
    static const QStringList periods{QStringLiteral("hourly"), QStringLiteral("daily"), QStringLiteral("weekly"),
                                     QStringLiteral("monthly"), QStringLiteral("yearly")};
    static const qint64 seconds[] = {3600, 86400, 7 * 86400, 30 * 86400, 365 * 86400};
    const qsizetype index = periods.indexOf(text.trimmed().toLower());
    return index < 0 ? std::nullopt : std::optional<qint64>(seconds[index]);
}

int dayBit(const QString &text)
{
    static const QStringList days{QStringLiteral("monday"),   QStringLiteral("tuesday"), QStringLiteral("wednesday"),
                                  QStringLiteral("thursday"), QStringLiteral("friday"),  QStringLiteral("saturday"),
                                  QStringLiteral("sunday")};
    const qsizetype index = days.indexOf(text.trimmed().toLower());
    return index < 0 ? -1 : firstDayBit + int(index);
}

int hourBit(const QString &text)
{
    const std::optional<qint64> hour = wholeNumber(text);
    // Some feeds count the hours from 1 to 24, midnight last.
    if (!hour || *hour > 24) {
        return -1;
    }
    return int(*hour % 24);
}

qint64 capped(qint64 seconds)
{
    return std::min(seconds, FeedScheduleHints::MaximumSeconds);
}

} // namespace

void FeedScheduleHints::read(const XmlNode &child)
{
    if (child.hasName("ttl")) {
        m_ttlMinutes = wholeNumber(child.stringValue());
    } else if (child.hasName("sy:updatePeriod")) {
        m_periodSeconds = periodSeconds(child.stringValue());
    } else if (child.hasName("sy:updateFrequency")) {
        m_frequency = wholeNumber(child.stringValue());
    } else if (child.hasName("skipHours") || child.hasName("skipDays")) {
        const bool hours = child.hasName("skipHours");
        for (XmlNode value : child.children()) {
            int bit = -1;
            if (hours && value.hasName("hour")) {
                bit = hourBit(value.stringValue());
            } else if (!hours && value.hasName("day")) {
                bit = dayBit(value.stringValue());
            }
            if (bit >= 0) {
                m_skipTimes |= qint64(1) << bit;
            }
        }
    }
}

std::optional<qint64> FeedScheduleHints::intervalSeconds() const
{
    std::optional<qint64> longest;
    if (m_ttlMinutes) {
        // Capped before it is multiplied, so that no count of minutes overflows.
        longest = capped(std::min(*m_ttlMinutes, MaximumSeconds) * 60);
    }
    // A frequency alone counts per day, the module's default period; a frequency of 0 or one that
    // is no number counts as once per period.
    if (m_periodSeconds || m_frequency) {
        const qint64 period = m_periodSeconds.value_or(86400);
        const qint64 frequency = m_frequency && *m_frequency > 0 ? *m_frequency : 1;
        longest = std::max(longest.value_or(0), capped(period / frequency));
    }
    return longest;
}

bool FeedScheduleHints::skips(qint64 skipTimes, const QDateTime &moment)
{
    if (skipTimes == 0) {
        return false;
    }
    const QDateTime utc = moment.toUTC();
    const int hour = utc.time().hour();
    const int day = firstDayBit + utc.date().dayOfWeek() - 1;
    return (skipTimes & (qint64(1) << hour)) || (skipTimes & (qint64(1) << day));
}

std::optional<qint64> FeedScheduleHints::freshnessSeconds(const QByteArray &cacheControl, const QByteArray &expires,
                                                          const QByteArray &date, const QDateTime &now)
{
    for (const QByteArray &directive : cacheControl.split(',')) {
        const QByteArray trimmed = directive.trimmed().toLower();
        if (trimmed.startsWith("max-age=")) {
            const std::optional<qint64> seconds =
                wholeNumber(QString::fromLatin1(trimmed.mid(int(qstrlen("max-age=")))));
            // Max-age wins over Expires, as in HTTP, even when it cannot be read.
            return seconds ? std::optional<qint64>(capped(*seconds)) : std::nullopt;
        }
    }
    if (expires.trimmed().isEmpty()) {
        return std::nullopt;
    }
    const std::optional<QDateTime> until = dateWithNaturalLanguageString(QString::fromLatin1(expires.trimmed()));
    const std::optional<QDateTime> sent =
        date.trimmed().isEmpty() ? std::nullopt : dateWithNaturalLanguageString(QString::fromLatin1(date.trimmed()));
    if (!until) {
        return std::nullopt;
    }
    const qint64 seconds = sent.value_or(now).secsTo(*until);
    return seconds > 0 ? std::optional<qint64>(capped(seconds)) : std::nullopt;
}
