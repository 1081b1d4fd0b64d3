#pragma once

#include <QString>

class QTextStream;
struct Menu;

// The status menu as text, for --print-menu: one line per item as the user reads it, two
// spaces of indent per submenu level, "---" for a separator. Submenus not built yet are built
// for the printing and let go once printed, so that a store's histories are never all built
// at once.
namespace MenuPrinter {
void print(Menu &menu, QTextStream &out);
QString print(Menu &menu);
} // namespace MenuPrinter
