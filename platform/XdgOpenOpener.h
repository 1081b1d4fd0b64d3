#pragma once

#include "platform/Opener.h"

// Opens URLs through xdg-open, the desktop's own choice of application, started on its own
// so that it outlives the program; for a process that QDesktopServices cannot open from.
class XdgOpenOpener : public Opener
{
public:
    void openUrl(const QUrl &url) override;
};
