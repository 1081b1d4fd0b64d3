#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>

#include "controller/StatusItem.h"
#include "controller/WindowPresenter.h"
#include "notify/NotificationBridgeHost.h"

class Alerts;
class BrevlinObject;
class FeedCheckRound;
class FeedEvents;
class NotificationLimits;
class NotificationService;
class ObjectContext;
class QTimer;
class Record;
class RSSFeed;
class RSSItem;
class StatusItem;
struct Menu;

// The program's central object, the same in every mode: it starts everything, keeps the check
// timer, builds the status menu from the store and rebuilds it when what it shows changes.
// The tray icon and the windows are views it is given; without them (headless, one check)
// it does all the rest alike.
class RSSBrevlinController : public QObject, public NotificationBridgeHost
{
    Q_OBJECT
    Q_MOC_INCLUDE("model/RSSFeed.h")
public:
    // The store may be unusable (rssFeeds then reports it once and gives no feeds).
    RSSBrevlinController(ObjectContext *context, Alerts *alerts, QObject *parent = nullptr);
    ~RSSBrevlinController() override;

    // The fourteen preferences and their defaults: the interval a real, the counts and limits
    // integers, the proxy a text, the rest booleans.
    static QVariantMap defaultsDictionary();
    // Registers the defaults with the process's preferences; runs once, before the
    // first preference is read.
    static void initialize();

    // The bounds of the check timer: no server is asked more often than every 30 s, and
    // every feed is checked at least weekly (which also keeps the timer's int of
    // milliseconds from overflowing).
    static constexpr double MinimumCheckInterval = 30.0;
    static constexpr double MaximumCheckInterval = 7 * 24 * 3600.0;
    // The timer's interval for a "Check Interval" of this many seconds, whatever the
    // preferences file holds.
    static std::chrono::milliseconds checkIntervalFor(double seconds);
    // The "Check Interval" in force now, within those bounds.
    static std::chrono::milliseconds globalCheckInterval();
    // The least time between two rebuilds asked for by notifications: a check parses documents
    // in bursts, and a rebuild per document would cost feeds x rebuilds. A menu slower to build
    // than a tenth of that is spaced further, so that rebuilds never take more than a tenth of a
    // check's time.
    static constexpr std::chrono::milliseconds RebuildSpacing{250};
    static constexpr int RebuildShareInverse = 10;

    // Views, given before awakeFromNib; either may be absent.
    void setStatusItem(StatusItem *statusItem) { m_statusItem = statusItem; }
    void setWindowPresenter(WindowPresenter *windows) { m_windows = windows; }
    // What the checks are timed by; tests give a clock of their own instead of waiting.
    using Clock = std::function<QDateTime()>;
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // The desktop's notification service; without one, new entries are announced nowhere.
    void setNotificationService(NotificationService *service) { m_notificationService = service; }
    // The folder whose unreferenced entries the start-up sweep removes, and the store file
    // it must leave alone when both folders coincide.
    void setCachesFolder(const QString &folder, const QString &storeFile);

    // Start-up, once the views are given.
    void awakeFromNib();
    void defaultsChanged();
    void recreateTimerAndUpdate();
    // Every feed, whatever its interval, as "Check All Now" asks.
    void checkFeeds();
    // The timer's tick: the feeds whose interval is over (see RSSFeed::isDue). The timer ticks at
    // the global interval, or at the shortest of the feeds' own intervals when one is shorter.
    void checkDueFeeds();
    void quit();

    QList<RSSFeed *> rssFeeds() override;
    QSet<QString> allCachedIDs();
    void activateStatusMenu();
    std::unique_ptr<Menu> feedsMenu();
    void updateMenus();
    void managedContextChanged(const QList<Record *> &deletedObjects);

    void postNewRSSItem(RSSItem *item);
    bool pinGrowlNotification() override;
    BrevlinObject *brevlinObject() const { return m_brevlinObject; }

    const QTimer *checkFeedsTimer() const { return m_checkFeedsTimer; }
    // The menu most recently built, as the status item shows it.
    std::shared_ptr<Menu> currentMenu() const { return m_menu; }

Q_SIGNALS:
    // The Quit item was chosen: the application decides whether it may end.
    void quitRequested();
    // Every feed of the list was asked to check itself (a tick with no feed due asks none, and
    // says nothing).
    void feedsChecked(const QList<RSSFeed *> &feeds);

private:
    void observeFeeds(FeedEvents *events);
    void checkFeedsAtStartUp();
    void checkFeedList(const QList<RSSFeed *> &feeds, bool restartRunning);
    void startRound(const QList<RSSFeed *> &feeds);
    std::chrono::milliseconds tickInterval(const QList<RSSFeed *> &feeds);
    void retimeIfNeeded(const QList<RSSFeed *> &feeds);
    void removeUnreferencedCaches();
    void scheduleRebuild();
    void rebuildNow();
    void onMenuClosed();
    void addFixedItems(Menu &menu);

    ObjectContext *m_context;
    Alerts *m_alerts;
    QPointer<StatusItem> m_statusItem;
    WindowPresenter *m_windows = nullptr;
    NotificationService *m_notificationService = nullptr;
    BrevlinObject *m_brevlinObject = nullptr;
    NotificationLimits *m_notificationLimits = nullptr;
    QPointer<FeedCheckRound> m_round;
    Clock m_clock = [] { return QDateTime::currentDateTimeUtc(); };
    QTimer *m_checkFeedsTimer = nullptr;
    QString m_cachesFolder;
    QString m_storeFile;
    std::shared_ptr<Menu> m_menu;
    QTimer *m_rebuildTimer = nullptr;
    QElapsedTimer m_sinceRebuild;
    std::chrono::milliseconds m_rebuildCost{0};
    bool m_rebuildScheduled = false;
    bool m_rebuildWaitsForClose = false;
    bool m_storeErrorShown = false;
};
