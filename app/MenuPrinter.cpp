#include "app/MenuPrinter.h"

#include "controller/MenuTitles.h"
#include "model/MenuItem.h"

namespace {

void printLevel(Menu &menu, int depth, QString &out)
{
    const QString indent(depth * 2, QLatin1Char(' '));
    for (MenuItem &item : menu.items) {
        out += indent;
        out += item.isSeparator ? QStringLiteral("---") : MenuTitles::asRead(item.title);
        out += QLatin1Char('\n');
        if (Menu *submenu = item.ensureSubmenu()) {
            printLevel(*submenu, depth + 1, out);
        }
    }
}

} // namespace

namespace MenuPrinter {

QString print(Menu &menu)
{
    QString out;
    printLevel(menu, 0, out);
    return out;
}

} // namespace MenuPrinter
