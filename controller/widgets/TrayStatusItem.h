#pragma once

#include <QHash>
#include <QIcon>
#include <QPointer>

#include <chrono>
#include <memory>

#include "controller/StatusItem.h"

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class TrayFallbackWindow;
struct Menu;
struct MenuItem;

// The status item in the desktop's system tray (StatusNotifierItem or XEmbed, as Qt finds
// them). A left click pops the same menu as a right click. Where no tray turns up soon after
// start, or the tray goes away later and does not come back soon, a small window offers the
// menu instead, until a tray appears.
class TrayStatusItem : public StatusItem
{
    Q_OBJECT
public:
    // Tray hosts often start after the programs of a session: the window is offered only after
    // trayGrace without a tray, and the tray is looked for again every trayPoll afterwards, for
    // as long as the item lives; a tray that goes away also has trayGrace to come back.
    explicit TrayStatusItem(std::chrono::milliseconds trayGrace = std::chrono::seconds(5),
                            std::chrono::milliseconds trayPoll = std::chrono::seconds(10), QObject *parent = nullptr);
    ~TrayStatusItem() override;

    void setMenu(std::shared_ptr<Menu> menu) override;
    bool isMenuOpen() const override { return m_menuOpen; }

    QMenu *rootMenu() const { return m_rootMenu.get(); }
    // Pops the menu up at the pointer, as a left click does.
    void popUpMenu();

private:
    // Makes the menu show the items (none when null), keeping what it can of the actions it has.
    void populate(QMenu *menu, Menu *items);
    QAction *makeAction(QMenu *menu, const MenuItem &item, const QString &text);
    void onAboutToShow();
    void onAboutToHide();
    void checkForTray();

    std::unique_ptr<QMenu> m_rootMenu;
    // What each action of the current menu does, and what fills each submenu built only when
    // opened. The actions stay from one rebuild to the next; their items are the menu's.
    QHash<const QAction *, const MenuItem *> m_entries;
    QHash<const QMenu *, MenuItem *> m_fills;
    QSystemTrayIcon *m_trayIcon;
    QTimer *m_trayWatch;
    std::chrono::milliseconds m_trayGrace;
    std::chrono::milliseconds m_trayPoll;
    bool m_trayWasSeen = false;
    std::unique_ptr<TrayFallbackWindow> m_fallbackWindow;
    std::shared_ptr<Menu> m_menu;
    std::shared_ptr<Menu> m_pendingMenu;
    QIcon m_icon;
    QIcon m_selectedIcon;
    bool m_menuOpen = false;
};
