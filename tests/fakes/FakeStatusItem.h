#pragma once

#include "controller/StatusItem.h"
#include "controller/WindowPresenter.h"
#include "model/MenuItem.h"

// A status item that keeps every menu it is given and opens and closes when a test says so.
class FakeStatusItem : public StatusItem
{
public:
    void setMenu(std::shared_ptr<Menu> menu) override { menus.append(menu); }
    bool isMenuOpen() const override { return open; }

    void openMenu()
    {
        open = true;
        Q_EMIT menuOpened();
    }
    void closeMenu()
    {
        open = false;
        Q_EMIT menuClosed();
    }

    bool open = false;
    QList<std::shared_ptr<Menu>> menus;
};

// Records which windows were brought forward or made to float.
class RecordingWindowPresenter : public WindowPresenter
{
public:
    void makeKeyAndOrderFront(Window window) override { shown.append(window); }
    void setFloating(Window window) override { floating.append(window); }

    QList<Window> shown;
    QList<Window> floating;
};
