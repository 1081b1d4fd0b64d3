#pragma once

#include <QString>

struct Menu;

// The status menu as text, for --print-menu: one line per item as the user reads it, two
// spaces of indent per submenu level, "---" for a separator. Submenus not built yet are built.
namespace MenuPrinter {
QString print(Menu &menu);
}
