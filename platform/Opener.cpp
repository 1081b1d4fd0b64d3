#include "platform/Opener.h"

#include <QGuiApplication>

#include "platform/DesktopOpener.h"
#include "platform/XdgOpenOpener.h"

namespace {

Opener *installed = nullptr;

// QDesktopServices opens through the desktop's platform integration (its portal inside a
// sandbox), but only under a GUI application object on a display: it refuses in the command
// line and --headless, which have none, and the off-screen platform a headless page cache
// runs on opens nothing. xdg-open serves those.
Opener *desktopOpener()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())
        && QGuiApplication::platformName() != QLatin1StringView("offscreen")) {
        static DesktopOpener desktop;
        return &desktop;
    }
    static XdgOpenOpener xdgOpen;
    return &xdgOpen;
}

} // namespace

Opener *Opener::shared()
{
    return installed ? installed : desktopOpener();
}

void Opener::setShared(Opener *opener)
{
    installed = opener;
}
