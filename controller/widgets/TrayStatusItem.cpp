#include "controller/widgets/TrayStatusItem.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <utility>

#include "controller/MenuTitles.h"
#include "controller/widgets/TrayFallbackWindow.h"
#include "model/MenuItem.h"

TrayStatusItem::TrayStatusItem(std::chrono::milliseconds trayGrace, std::chrono::milliseconds trayPoll, QObject *parent)
    : StatusItem(parent)
    , m_rootMenu(std::make_unique<QMenu>())
    , m_trayIcon(new QSystemTrayIcon(this))
    , m_trayWatch(new QTimer(this))
    , m_trayGrace(trayGrace)
    , m_trayPoll(trayPoll)
    , m_icon(QStringLiteral(":/icons/menuicon.svg"))
    , m_selectedIcon(QStringLiteral(":/icons/menuicon_sel.svg"))
{
    m_trayIcon->setIcon(m_icon);
    m_trayIcon->setToolTip(QStringLiteral("RSS Brevlin"));
    m_trayIcon->setContextMenu(m_rootMenu.get());
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            popUpMenu();
        }
    });
    connect(m_rootMenu.get(), &QMenu::aboutToShow, this, &TrayStatusItem::onAboutToShow);
    connect(m_rootMenu.get(), &QMenu::aboutToHide, this, &TrayStatusItem::onAboutToHide);
    m_trayIcon->show();

    m_trayWatch->setSingleShot(true);
    connect(m_trayWatch, &QTimer::timeout, this, &TrayStatusItem::checkForTray);
    m_trayWatch->start(trayGrace);
}

TrayStatusItem::~TrayStatusItem() = default;

void TrayStatusItem::setMenu(std::shared_ptr<Menu> menu)
{
    // Nothing is taken away from a menu on screen; the new one replaces it once it closes.
    if (m_menuOpen) {
        m_pendingMenu = std::move(menu);
        return;
    }
    m_rootMenu->clear();
    m_submenusInUse = 0;
    m_menu = std::move(menu);
    if (m_menu) {
        populate(m_rootMenu.get(), m_menu.get());
    }
    // The menu shrank (feeds removed): what is left over goes.
    for (size_t index = m_submenusInUse; index < m_submenus.size(); ++index) {
        delete m_submenus[index];
    }
    m_submenus.resize(m_submenusInUse);
}

QMenu *TrayStatusItem::reusedSubmenu(const QString &title)
{
    if (m_submenusInUse == m_submenus.size()) {
        m_submenus.push_back(new QMenu(title, m_rootMenu.get()));
        return m_submenus[m_submenusInUse++];
    }
    QMenu *submenu = m_submenus[m_submenusInUse++];
    // Its items and its history's filler belonged to the last menu, which is gone.
    submenu->clear();
    disconnect(submenu, &QMenu::aboutToShow, this, nullptr);
    submenu->setTitle(title);
    return submenu;
}

void TrayStatusItem::populate(QMenu *menu, Menu *items)
{
    for (MenuItem &item : items->items) {
        if (item.isSeparator) {
            menu->addSeparator();
            continue;
        }
        const QString text = MenuTitles::forAction(item.title);
        MenuItem *entry = &item;
        if (!item.hasSubmenu()) {
            QAction *action = menu->addAction(text);
            connect(action, &QAction::triggered, this, [entry] {
                if (entry->perform) {
                    entry->perform();
                }
            });
            continue;
        }
        // A history is built only when it is opened.
        QMenu *submenu = reusedSubmenu(text);
        menu->addMenu(submenu);
        if (item.submenu) {
            populate(submenu, item.submenu.get());
        } else {
            connect(submenu, &QMenu::aboutToShow, this, [this, submenu, entry] {
                if (submenu->isEmpty()) {
                    if (Menu *filled = entry->ensureSubmenu()) {
                        populate(submenu, filled);
                    }
                }
            });
        }
    }
}

void TrayStatusItem::popUpMenu()
{
    m_rootMenu->popup(QCursor::pos());
}

void TrayStatusItem::onAboutToShow()
{
    m_menuOpen = true;
    m_trayIcon->setIcon(m_selectedIcon);
    Q_EMIT menuOpened();
}

void TrayStatusItem::onAboutToHide()
{
    // The chosen item's action runs after aboutToHide: the menu it belongs to must outlive it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_menuOpen = false;
            m_trayIcon->setIcon(m_icon);
            if (m_pendingMenu) {
                setMenu(std::exchange(m_pendingMenu, nullptr));
            }
            Q_EMIT menuClosed();
        },
        Qt::QueuedConnection);
}

void TrayStatusItem::checkForTray()
{
    // The tray can go at any time (a panel restarting, or replaced by one without a tray), and
    // Qt says nothing when it does: it is looked for for as long as the program runs.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_fallbackWindow.reset();
        m_trayWasSeen = true;
        m_trayWatch->start(m_trayPoll);
        return;
    }
    // A panel that restarts is back in a moment: the window waits one grace period for it, as at
    // start-up, rather than flashing up.
    if (std::exchange(m_trayWasSeen, false)) {
        m_trayWatch->start(m_trayGrace);
        return;
    }
    if (!m_fallbackWindow) {
        m_fallbackWindow = std::make_unique<TrayFallbackWindow>(m_icon);
        connect(m_fallbackWindow.get(), &TrayFallbackWindow::menuRequested, this,
                [this](const QPoint &where) { m_rootMenu->popup(where); });
        m_fallbackWindow->show();
    }
    m_trayWatch->start(m_trayPoll);
}
