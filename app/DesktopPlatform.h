#pragma once

class NotificationService;
class PasswordStore;
class ProgramService;
class QObject;

// The real platform services of the desktop program, picked in one place.
namespace DesktopPlatform {

// The running program's own name on the session bus.
ProgramService *createProgramService(QObject *parent);
// The desktop's notification server on the session bus.
NotificationService *createNotificationService(QObject *parent);
// The desktop's keyring, over the Secret Service.
PasswordStore *createPasswordStore(QObject *parent);
// The idle-time sources in order of preference: the X11 screen saver when a display is
// reachable, then GNOME's idle monitor, then the freedesktop screen saver.
void installIdleTimeProviders();

} // namespace DesktopPlatform
