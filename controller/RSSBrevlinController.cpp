#include "controller/RSSBrevlinController.h"

#include "platform/Preferences.h"
#include "platform/UserDefaults.h"

QVariantMap RSSBrevlinController::defaultsDictionary()
{
    return {
        {Preferences::checkInterval, 300.0},
        {Preferences::showTopEntriesCount, 10},
        {Preferences::maximumEntryHistoryCount, 100},
        {Preferences::hideTopEntriesFromHistory, true},
        {Preferences::growlClickAction, false},
        {Preferences::growlListFeedsSeparately, false},
        {Preferences::enableTargetPageCache, false},
        {Preferences::showGrowlsOnLaunch, false},
        {Preferences::enableSubLinksInMenu, true},
        {Preferences::pinGrowlNotifications, false},
        {Preferences::pinGrowlMinutes, 0},
    };
}

void RSSBrevlinController::initialize()
{
    UserDefaults::standardUserDefaults()->registerDefaults(defaultsDictionary());
}
