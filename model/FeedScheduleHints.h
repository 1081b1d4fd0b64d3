#pragma once

#include <QByteArray>
#include <QDateTime>

#include <optional>

class XmlNode;

// What a feed says of how often it is worth asking for: <ttl>, the syndication module's
// sy:updatePeriod and sy:updateFrequency, <skipHours> and <skipDays>, read from the children of
// its channel (or of an Atom feed's root); and what its server's cache headers say of a response.
class FeedScheduleHints
{
public:
    // No hint asks for more than a day between checks, whatever it says.
    static constexpr qint64 MaximumSeconds = 24 * 3600;

    // Takes the hint this child of the channel gives, if any; other children are passed over.
    void read(const XmlNode &child);

    // The longest interval the document's hints ask for, in seconds, at most a day; nothing when
    // no hint is a usable number.
    std::optional<qint64> intervalSeconds() const;
    // The hours (bits 0 to 23, UTC) and the days (bits 24 to 30, Monday to Sunday) to skip.
    qint64 skipTimes() const { return m_skipTimes; }

    // Whether the skip times leave out the moment, taken in UTC as RSS says.
    static bool skips(qint64 skipTimes, const QDateTime &moment);
    // How long a response stays fresh, from its Cache-Control max-age or else its Expires (against
    // its Date, or now without one), in seconds, at most a day; nothing when it says nothing usable.
    static std::optional<qint64> freshnessSeconds(const QByteArray &cacheControl, const QByteArray &expires,
                                                  const QByteArray &date, const QDateTime &now);

private:
    std::optional<qint64> m_ttlMinutes;
    std::optional<qint64> m_periodSeconds;
    std::optional<qint64> m_frequency;
    qint64 m_skipTimes = 0;
};
