#pragma once

#include <QString>

// The keys of the user's preferences, exactly as they are stored.
namespace Preferences {
inline const QString checkInterval = QStringLiteral("Check Interval");
inline const QString showTopEntriesCount = QStringLiteral("Show Top Entries Count");
inline const QString maximumEntryHistoryCount = QStringLiteral("Maximum Entry History Count");
inline const QString hideTopEntriesFromHistory = QStringLiteral("Hide Top Entries From History");
inline const QString growlClickAction = QStringLiteral("Growl Click Action");
inline const QString growlListFeedsSeparately = QStringLiteral("Growl List Feeds Separately");
inline const QString enableTargetPageCache = QStringLiteral("Enable Target Page Cache");
inline const QString showGrowlsOnLaunch = QStringLiteral("kShowGrowlsOnLaunch");
inline const QString enableSubLinksInMenu = QStringLiteral("Enable SubLinks in Menu");
inline const QString pinGrowlNotifications = QStringLiteral("Pin Growl Notifications");
inline const QString pinGrowlMinutes = QStringLiteral("Pin Growl Minutes");
inline const QString proxy = QStringLiteral("Proxy");
inline const QString maximumNotificationsPerFeed = QStringLiteral("Maximum Notifications Per Feed");
inline const QString maximumNotificationsPerCheck = QStringLiteral("Maximum Notifications Per Check");
} // namespace Preferences
