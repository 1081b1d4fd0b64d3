#include "model/MenuItem.h"

MenuItem MenuItem::separator()
{
    MenuItem item;
    item.isSeparator = true;
    return item;
}

Menu *MenuItem::ensureSubmenu()
{
    if (!submenu && fillSubmenu) {
        submenu = std::exchange(fillSubmenu, nullptr)();
    }
    return submenu.get();
}
