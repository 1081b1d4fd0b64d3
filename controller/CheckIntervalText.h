#pragma once

#include <QString>

#include <chrono>

class RSSFeed;

// A feed's check interval as the subscription window shows it.
namespace CheckIntervalText {

// The interval in force: "10 min" for the feed's own, "auto (5 min)" at the global one, "auto
// (1 h, from the feed)" when the feed's hints lengthen it.
QString inForce(const RSSFeed *feed);
// "45 s", "5 min", "2 h", "1 d": the largest unit that divides the length.
QString duration(std::chrono::milliseconds length);

} // namespace CheckIntervalText
