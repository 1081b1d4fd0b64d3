#include "app/MenuPrinter.h"

#include <QTextStream>

#include "controller/MenuTitles.h"
#include "model/MenuItem.h"

namespace {

void printLevel(Menu &menu, int depth, QTextStream &out)
{
    const QString indent(depth * 2, QLatin1Char(' '));
    for (MenuItem &item : menu.items) {
        out << indent << (item.isSeparator ? QStringLiteral("---") : MenuTitles::asRead(item.title)) << '\n';
        const std::function<std::unique_ptr<Menu>()> fill = item.submenu ? nullptr : item.fillSubmenu;
        if (Menu *submenu = item.ensureSubmenu()) {
            printLevel(*submenu, depth + 1, out);
        }
        if (fill) {
            item.submenu.reset();
            item.fillSubmenu = fill;
        }
    }
}

} // namespace

namespace MenuPrinter {

void print(Menu &menu, QTextStream &out)
{
    printLevel(menu, 0, out);
}

QString print(Menu &menu)
{
    QString text;
    QTextStream out(&text);
    print(menu, out);
    out.flush();
    return text;
}

} // namespace MenuPrinter
