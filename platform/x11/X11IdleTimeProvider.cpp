#include "platform/x11/X11IdleTimeProvider.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

struct X11IdleTimeProvider::Private
{
    Display *display = nullptr;
    bool opened = false;
    bool hasExtension = false;

    ~Private()
    {
        if (display) {
            XCloseDisplay(display);
        }
    }

    // The display is opened on first use: most sessions never pin a notification.
    void open()
    {
        if (opened) {
            return;
        }
        opened = true;
        display = XOpenDisplay(nullptr);
        int eventBase = 0;
        int errorBase = 0;
        hasExtension = display && XScreenSaverQueryExtension(display, &eventBase, &errorBase);
    }
};

X11IdleTimeProvider::X11IdleTimeProvider()
    : d(std::make_unique<Private>())
{
}

X11IdleTimeProvider::~X11IdleTimeProvider() = default;

QString X11IdleTimeProvider::name() const
{
    return QStringLiteral("X11 screen saver");
}

bool X11IdleTimeProvider::isAvailable()
{
    d->open();
    return d->hasExtension;
}

std::optional<QVariant> X11IdleTimeProvider::idleTime()
{
    if (!isAvailable()) {
        return std::nullopt;
    }
    XScreenSaverInfo *info = XScreenSaverAllocInfo();
    if (!info) {
        return std::nullopt;
    }
    std::optional<QVariant> result;
    if (XScreenSaverQueryInfo(d->display, DefaultRootWindow(d->display), info)) {
        // The server counts milliseconds.
        result = QVariant(qlonglong(info->idle) * 1000000);
    }
    XFree(info);
    return result;
}
