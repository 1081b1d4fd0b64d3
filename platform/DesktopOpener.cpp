#include "platform/DesktopOpener.h"

#include <QDesktopServices>

void DesktopOpener::openUrl(const QUrl &url)
{
    if (!QDesktopServices::openUrl(url)) {
        qWarning("DesktopOpener::openUrl: no application opened %s", qPrintable(url.toDisplayString()));
    }
}
