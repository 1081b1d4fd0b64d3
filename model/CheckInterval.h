#pragma once

#include <QString>

#include <chrono>
#include <optional>

// The interval at which a feed is checked, and what set it.
struct CheckInterval
{
    // The bounds of a feed's own interval, as of the global one.
    static constexpr qint64 MinimumSeconds = 30;
    static constexpr qint64 MaximumSeconds = 7 * 24 * 3600;

    enum class Source {
        Global, // "auto", at the global interval
        Hints,  // "auto", made longer by what the feed or its server says
        Own,    // the feed's own interval
    };

    std::chrono::milliseconds length{0};
    Source source = Source::Global;

    // The interval in force: the feed's own when it has one, else the global interval made longer
    // (never shorter) by the interval its hints ask for, which is already at most a day.
    static CheckInterval inForce(const std::optional<qint64> &ownSeconds, const std::optional<qint64> &hintedSeconds,
                                 std::chrono::milliseconds global);
    // A number of seconds within the bounds.
    static qint64 bounded(qint64 seconds) { return qBound(MinimumSeconds, seconds, MaximumSeconds); }
    // Reads an interval as typed: "auto" (in any case) gives nothing in *seconds, a whole number
    // of seconds within the bounds gives that number; false for anything else.
    static bool fromText(const QString &text, std::optional<qint64> *seconds);
};
