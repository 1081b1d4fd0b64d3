#pragma once

class UserDefaults;

// The sticky rule of the notifications: pinned while the user has been away for longer than
// "Pin Growl Minutes", when "Pin Growl Notifications" is on.
namespace NotificationPinning {

// Asks for the idle time only when pinning is on.
bool shouldPin(const UserDefaults &defaults);

} // namespace NotificationPinning
