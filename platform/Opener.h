#pragma once

#include <QUrl>

// Hands a URL to the desktop's default application: the web browser for web pages,
// the default viewer for cached pages. Tests record what would have been opened.
class Opener
{
public:
    virtual ~Opener() = default;

    virtual void openUrl(const QUrl &url) = 0;

    // The opener of the process: the desktop's, as this process can reach it, unless tests
    // installed a fake.
    static Opener *shared();
    static void setShared(Opener *opener);
};
