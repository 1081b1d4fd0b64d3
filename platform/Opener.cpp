#include "platform/Opener.h"

#include "platform/DesktopOpener.h"

namespace {
Opener *installed = nullptr;
}

Opener *Opener::shared()
{
    if (!installed) {
        static DesktopOpener desktop;
        installed = &desktop;
    }
    return installed;
}

void Opener::setShared(Opener *opener)
{
    installed = opener;
}
