#include "notify/NotificationPinning.h"

#include "notify/SystemIdleTime.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"

namespace NotificationPinning {

bool shouldPin(const UserDefaults &defaults)
{
    if (!defaults.boolForKey(Preferences::pinGrowlNotifications)) {
        return false;
    }
    const double minutes = defaults.integerForKey(Preferences::pinGrowlMinutes);
    const double idle = double(systemIdleSeconds());
    // Strictly longer: exactly the threshold is not yet away.
    return idle / 60.0 > minutes;
}

} // namespace NotificationPinning
