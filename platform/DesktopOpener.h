#pragma once

#include "platform/Opener.h"

// Opens URLs with the desktop's default applications through QDesktopServices, which needs a
// GUI application object on a display.
class DesktopOpener : public Opener
{
public:
    void openUrl(const QUrl &url) override;
};
