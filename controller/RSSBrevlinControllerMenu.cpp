#include "controller/RSSBrevlinController.h"

#include <QTimer>

#include <algorithm>

#include "controller/ControllerLog.h"
#include "controller/StatusItem.h"
#include "model/MenuItem.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "platform/Alerts.h"
#include "platform/DeferredCalls.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "store/ObjectContext.h"

// Rebuilds are frequent: their debug lines show only when asked for.

QList<RSSFeed *> RSSBrevlinController::rssFeeds()
{
    // A store that could not be opened was reported when it was; its menu is the fixed items.
    if (!m_context || !m_context->isOpen()) {
        return {};
    }
    const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(m_context);
    if (feeds) {
        m_storeErrorShown = false;
        return *feeds;
    }
    // Every rebuild fetches again: one dialog per failure would stack up by the hundred
    // during a single check, so the user sees it once and the log gets the rest.
    if (!m_storeErrorShown && m_alerts) {
        m_storeErrorShown = true;
        m_alerts->presentError(m_context->errorString());
    } else {
        qCWarning(lcController, "%s", qPrintable(m_context->errorString()));
    }
    return {};
}

QSet<QString> RSSBrevlinController::allCachedIDs()
{
    QSet<QString> identifiers;
    for (const RSSFeed *feed : rssFeeds()) {
        identifiers.unite(feed->cachedIDs());
    }
    return identifiers;
}

void RSSBrevlinController::activateStatusMenu()
{
    if (m_statusItem) {
        connect(m_statusItem, &StatusItem::menuOpened, this, [] { DeferredCalls::hold(); });
        connect(m_statusItem, &StatusItem::menuClosed, this, &RSSBrevlinController::onMenuClosed);
    }
    rebuildNow();
}

std::unique_ptr<Menu> RSSBrevlinController::feedsMenu()
{
    auto menu = std::make_unique<Menu>();
    const QList<RSSFeed *> feeds = rssFeeds();
    UserDefaults *defaults = UserDefaults::standardUserDefaults();

    // Counts are compared unsigned: a negative setting takes every entry.
    const quint32 perFeed = quint32(defaults->integerForKey(Preferences::showTopEntriesCount));
    QList<RSSItem *> topEntries;
    for (const RSSFeed *feed : feeds) {
        topEntries.append(feed->firstFeedItems(perFeed));
    }
    topEntries = RSSItem::newestFirst(std::move(topEntries), qsizetype(perFeed));
    const QSet<RSSItem *> hidden(topEntries.cbegin(), topEntries.cend());
    for (RSSItem *entry : std::as_const(topEntries)) {
        entry->cachePage();
        menu->items.push_back(entry->menuItem());
    }
    menu->items.push_back(MenuItem::separator());
    for (const RSSFeed *feed : feeds) {
        menu->items.push_back(feed->feedMenuItem(hidden, RSSFeed::SubmenuFill::OnOpening));
    }
    menu->items.push_back(MenuItem::separator());
    addFixedItems(*menu);
    return menu;
}

void RSSBrevlinController::addFixedItems(Menu &menu)
{
    using Window = WindowPresenter::Window;
    const auto windowItem = [this](const QString &title, Window window) {
        MenuItem item;
        item.title = title;
        item.action = QStringLiteral("makeKeyAndOrderFront");
        item.perform = [controller = QPointer<RSSBrevlinController>(this), window] {
            if (controller && controller->m_windows) {
                controller->m_windows->makeKeyAndOrderFront(window);
            }
        };
        return item;
    };
    menu.items.push_back(windowItem(QStringLiteral("Manage Subscriptions..."), Window::ManageSubscriptions));
    menu.items.push_back(windowItem(QStringLiteral("Preferences..."), Window::Preferences));
    menu.items.push_back(windowItem(QStringLiteral("About"), Window::About));
    MenuItem quitItem;
    quitItem.title = QStringLiteral("Quit");
    quitItem.action = QStringLiteral("quit");
    quitItem.perform = [controller = QPointer<RSSBrevlinController>(this)] {
        if (controller) {
            controller->quit();
        }
    };
    menu.items.push_back(std::move(quitItem));
}

void RSSBrevlinController::updateMenus()
{
    rebuildNow();
}

void RSSBrevlinController::managedContextChanged(const QList<Record *> &deletedObjects)
{
    if (!deletedObjects.isEmpty()) {
        updateMenus();
    }
}

void RSSBrevlinController::scheduleRebuild()
{
    if (m_rebuildScheduled) {
        return;
    }
    m_rebuildScheduled = true;
    if (!m_rebuildTimer) {
        m_rebuildTimer = new QTimer(this);
        m_rebuildTimer->setSingleShot(true);
        connect(m_rebuildTimer, &QTimer::timeout, this, [this] {
            if (m_rebuildScheduled) {
                rebuildNow();
            }
        });
    }
    // The first request after a quiet spell is answered on the next turn of the event loop; those
    // that follow within the spacing wait for its end and are answered together, the last included.
    const std::chrono::milliseconds spacing = std::max(RebuildSpacing, m_rebuildCost * RebuildShareInverse);
    const auto since = std::chrono::milliseconds(m_sinceRebuild.isValid() ? m_sinceRebuild.elapsed() : spacing.count());
    m_rebuildTimer->start(std::max(std::chrono::milliseconds(0), spacing - since));
}

void RSSBrevlinController::rebuildNow()
{
    m_rebuildScheduled = false;
    // The open menu stays as the user sees it; the rebuild follows when it closes.
    if (m_statusItem && m_statusItem->isMenuOpen()) {
        m_rebuildWaitsForClose = true;
        return;
    }
    m_rebuildWaitsForClose = false;
    m_sinceRebuild.start();
    m_menu = feedsMenu();
    if (m_statusItem) {
        m_statusItem->setMenu(m_menu);
    }
    m_rebuildCost = std::chrono::milliseconds(m_sinceRebuild.elapsed());
    // Start-up timing and support read when the menu a user can open was ready.
    qCDebug(lcController, "menu built: %zu items", m_menu->items.size());
}

void RSSBrevlinController::onMenuClosed()
{
    if (m_rebuildWaitsForClose) {
        rebuildNow();
    }
    DeferredCalls::release();
}
