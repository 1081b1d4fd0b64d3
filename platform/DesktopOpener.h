#pragma once

#include "platform/Opener.h"

// Opens URLs with the desktop's default applications (xdg-open).
class DesktopOpener : public Opener
{
public:
    void openUrl(const QUrl &url) override;
};
