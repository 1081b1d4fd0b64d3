#include "platform/DesktopOpener.h"
#include "platform/PlatformLog.h"

#include <QDesktopServices>

void DesktopOpener::openUrl(const QUrl &url)
{
    if (!QDesktopServices::openUrl(url)) {
        qCWarning(lcPlatform, "DesktopOpener::openUrl: no application opened %s", qPrintable(url.toDisplayString()));
    }
}
