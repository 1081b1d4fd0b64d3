#pragma once

#include <QDateTime>
#include <QTimeZone>

// The "never fetched" sentinel: a feed whose lastFetchDate equals it stores its first
// document silently. Compared by equality only.
inline const QDateTime &distantPast()
{
    static const QDateTime value(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc());
    return value;
}
