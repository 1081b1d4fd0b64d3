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
    // The items of the last menu are gone with it.
    m_entries.clear();
    m_fills.clear();
    m_menu = std::move(menu);
    populate(m_rootMenu.get(), m_menu.get());
}

namespace {

enum class ActionKind { Separator, Plain, Submenu };

ActionKind kindOf(const MenuItem &item)
{
    if (item.isSeparator) {
        return ActionKind::Separator;
    }
    return item.hasSubmenu() ? ActionKind::Submenu : ActionKind::Plain;
}

ActionKind kindOf(const QAction *action)
{
    if (action->isSeparator()) {
        return ActionKind::Separator;
    }
    return action->menu() ? ActionKind::Submenu : ActionKind::Plain;
}

// A submenu goes with its action; the other actions belong to the menu they are in.
void removeAction(QAction *action)
{
    if (QMenu *submenu = action->menu()) {
        delete submenu;
    } else {
        delete action;
    }
}

// The actions from position on. QMenu::clear() would leave the submenus of a history's entries
// (their sub-links) behind as children.
void removeActions(const QList<QAction *> &actions, qsizetype position = 0)
{
    for (; position < actions.size(); ++position) {
        removeAction(actions.at(position));
    }
}

} // namespace

QAction *TrayStatusItem::makeAction(QMenu *menu, const MenuItem &item, const QString &text)
{
    switch (kindOf(item)) {
    case ActionKind::Separator:
        return menu->addSeparator();
    case ActionKind::Plain: {
        QAction *action = menu->addAction(text);
        connect(action, &QAction::triggered, this, [this, action] {
            const MenuItem *entry = m_entries.value(action);
            if (entry && entry->perform) {
                entry->perform();
            }
        });
        return action;
    }
    case ActionKind::Submenu:
        break;
    }
    auto *submenu = new QMenu(text, menu);
    menu->addMenu(submenu);
    // A history is built only when it is opened.
    connect(submenu, &QMenu::aboutToShow, this, [this, submenu] {
        MenuItem *entry = m_fills.value(submenu);
        if (entry && submenu->isEmpty()) {
            if (Menu *filled = entry->ensureSubmenu()) {
                populate(submenu, filled);
            }
        }
    });
    return submenu->menuAction();
}

void TrayStatusItem::populate(QMenu *menu, Menu *items)
{
    // A rebuild changes the titles of a menu far more often than its shape: an item of the same
    // kind at the same place keeps its action, as Qt's menus make adding and removing an action
    // cost far more than a new title. From the first item of another kind on, the actions are new.
    const QList<QAction *> existing = menu->actions();
    qsizetype position = 0;
    if (!items) {
        removeActions(existing);
        return;
    }
    for (MenuItem &item : items->items) {
        const QString text = item.isSeparator ? QString() : MenuTitles::forAction(item.title);
        QAction *action = nullptr;
        if (position < existing.size() && kindOf(existing.at(position)) == kindOf(item)) {
            action = existing.at(position++);
            if (action->text() != text) {
                action->setText(text);
            }
        } else {
            removeActions(existing, position);
            position = existing.size();
            action = makeAction(menu, item, text);
        }
        if (action->isSeparator()) {
            continue;
        }
        if (QMenu *submenu = action->menu()) {
            if (item.submenu) {
                populate(submenu, item.submenu.get());
            } else {
                // Its items belonged to the last menu; it fills again when opened.
                removeActions(submenu->actions());
                m_fills.insert(submenu, &item);
            }
        } else {
            m_entries.insert(action, &item);
        }
    }
    removeActions(existing, position);
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
