#include "model/parsing/NaturalLanguageDate.h"

#include <QTimeZone>

#include "model/parsing/IsoDateReader.h"
#include "model/parsing/WordDateReader.h"

namespace {

// Dates in feeds are short; anything longer is not one, and is not worth scanning.
constexpr qsizetype kMaxLength = 256;
constexpr qint64 kUnixEpochJulianDay = 2440588;

std::optional<QDateTime> toUtc(const DateFields &fields)
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
    // Plain arithmetic: QDateTime's own construction in a zone costs more than the reading.
    const qint64 seconds = (date.toJulianDay() - kUnixEpochJulianDay) * 86400 + secondOfDay - fields.offsetSeconds;
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

} // namespace

std::optional<QDateTime> dateWithNaturalLanguageString(const QString &text)
{
    const QStringView trimmed = QStringView(text).trimmed();
    if (trimmed.isEmpty() || trimmed.size() > kMaxLength) {
        return std::nullopt;
    }
    std::optional<DateFields> fields = IsoDateReader::read(trimmed);
    if (!fields && !IsoDateReader::looksNumeric(trimmed)) {
        fields = WordDateReader::read(trimmed);
    }
    return fields ? toUtc(*fields) : std::nullopt;
}
