#include "app/DesktopPlatform.h"

#include "platform/IdleTimeRegistry.h"
#include "platform/dbus/DBusIdleTimeProvider.h"
#include "platform/dbus/DBusProgramService.h"
#include "platform/dbus/FreedesktopNotificationService.h"
#include "platform/keyring/SecretServicePasswordStore.h"
#ifdef BREVLIN_HAVE_X11
#include "platform/x11/X11IdleTimeProvider.h"
#endif

namespace DesktopPlatform {

ProgramService *createProgramService(QObject *parent)
{
    return new DBusProgramService(parent);
}

NotificationService *createNotificationService(QObject *parent)
{
    return new FreedesktopNotificationService(parent);
}

PasswordStore *createPasswordStore(QObject *parent)
{
    return new SecretServicePasswordStore(parent);
}

void installIdleTimeProviders()
{
    IdleTimeRegistry *registry = IdleTimeRegistry::shared();
    registry->clear();
#ifdef BREVLIN_HAVE_X11
    registry->addProvider(std::make_unique<X11IdleTimeProvider>());
#endif
    registry->addProvider(DBusIdleTimeProvider::mutterIdleMonitor());
    registry->addProvider(DBusIdleTimeProvider::freedesktopScreenSaver());
}

} // namespace DesktopPlatform
