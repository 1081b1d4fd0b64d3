#include "controller/RSSBrevlinController.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

#include "controller/FeedCheckRound.h"
#include "controller/StatusItem.h"
#include "model/FeedEvents.h"
#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "notify/BrevlinObject.h"
#include "notify/NotificationLimits.h"
#include "notify/NotificationPinning.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "store/ObjectContext.h"

RSSBrevlinController::RSSBrevlinController(ObjectContext *context, Alerts *alerts, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_alerts(alerts)
{
}

RSSBrevlinController::~RSSBrevlinController() = default;

QVariantMap RSSBrevlinController::defaultsDictionary()
{
    return {
        {Preferences::checkInterval, 300.0},
        {Preferences::showTopEntriesCount, 10},
        {Preferences::maximumEntryHistoryCount, 100},
        {Preferences::hideTopEntriesFromHistory, true},
        {Preferences::growlClickAction, false},
        {Preferences::growlListFeedsSeparately, false},
        {Preferences::enableTargetPageCache, false},
        {Preferences::showGrowlsOnLaunch, false},
        {Preferences::enableSubLinksInMenu, true},
        {Preferences::pinGrowlNotifications, false},
        {Preferences::pinGrowlMinutes, 0},
        {Preferences::proxy, QString()},
        {Preferences::maximumNotificationsPerFeed, NotificationLimits::DefaultPerFeed},
        {Preferences::maximumNotificationsPerCheck, NotificationLimits::DefaultPerCheck},
    };
}

void RSSBrevlinController::initialize()
{
    UserDefaults::standardUserDefaults()->registerDefaults(defaultsDictionary());
}

void RSSBrevlinController::setCachesFolder(const QString &folder, const QString &storeFile)
{
    m_cachesFolder = folder;
    m_storeFile = storeFile;
}

void RSSBrevlinController::awakeFromNib()
{
    if (m_notificationService) {
        m_brevlinObject = new BrevlinObject(this, m_notificationService, this);
        m_notificationLimits = new NotificationLimits(m_brevlinObject, this);
    }
    activateStatusMenu();

    if (m_context) {
        observeFeeds(FeedEvents::of(m_context));
    }
    connect(UserDefaults::standardUserDefaults(), &UserDefaults::changed, this, &RSSBrevlinController::defaultsChanged);

    checkFeedsAtStartUp();
    if (m_windows) {
        m_windows->setFloating(WindowPresenter::Window::ManageSubscriptions);
        m_windows->setFloating(WindowPresenter::Window::Preferences);
    }
    recreateTimerAndUpdate();
    removeUnreferencedCaches();
}

void RSSBrevlinController::observeFeeds(FeedEvents *events)
{
    // Feeds ask for a rebuild after every check and every pruning: the requests of one turn of
    // the event loop are answered with one rebuild.
    connect(events, &FeedEvents::updateMenus, this, &RSSBrevlinController::scheduleRebuild);
    connect(m_context, &ObjectContext::objectsDidChange, this, &RSSBrevlinController::managedContextChanged);
    connect(events, &FeedEvents::newRssItem, this, &RSSBrevlinController::postNewRSSItem);
    connect(events, &FeedEvents::documentParsed, this, [this] {
        if (m_notificationLimits) {
            m_notificationLimits->documentParsed();
        }
    });
    connect(events, &FeedEvents::checkIntervalChanged, this, [this] { retimeIfNeeded(rssFeeds()); });
    if (m_brevlinObject) {
        connect(events, &FeedEvents::feedNameChanged, m_brevlinObject, &BrevlinObject::reregister);
    }
}

void RSSBrevlinController::defaultsChanged()
{
    if (m_brevlinObject) {
        m_brevlinObject->reregister();
    }
    recreateTimerAndUpdate();
}

void RSSBrevlinController::recreateTimerAndUpdate()
{
    if (!m_checkFeedsTimer) {
        m_checkFeedsTimer = new QTimer(this);
        // A coarse timer may fire 5% early: the interval is the promise to the servers.
        m_checkFeedsTimer->setTimerType(Qt::PreciseTimer);
        connect(m_checkFeedsTimer, &QTimer::timeout, this, &RSSBrevlinController::checkDueFeeds);
    }
    // Restarting counts a full interval from now.
    m_checkFeedsTimer->start(tickInterval(rssFeeds()));
    updateMenus();
}

std::chrono::milliseconds RSSBrevlinController::globalCheckInterval()
{
    return checkIntervalFor(UserDefaults::standardUserDefaults()->doubleForKey(Preferences::checkInterval));
}

std::chrono::milliseconds RSSBrevlinController::tickInterval(const QList<RSSFeed *> &feeds)
{
    // Intervals at "auto" are never shorter than the global one, so only feeds' own ones count.
    std::chrono::milliseconds tick = globalCheckInterval();
    for (const RSSFeed *feed : feeds) {
        if (feed->interval()) {
            tick = std::min<std::chrono::milliseconds>(tick, std::chrono::seconds(*feed->interval()));
        }
    }
    return tick;
}

void RSSBrevlinController::retimeIfNeeded(const QList<RSSFeed *> &feeds)
{
    if (!m_checkFeedsTimer) {
        return;
    }
    const std::chrono::milliseconds tick = tickInterval(feeds);
    if (tick != m_checkFeedsTimer->intervalAsDuration()) {
        m_checkFeedsTimer->start(tick);
    }
}

std::chrono::milliseconds RSSBrevlinController::checkIntervalFor(double seconds)
{
    if (std::isnan(seconds)) {
        seconds = defaultsDictionary().value(Preferences::checkInterval).toDouble();
    }
    const double bounded = std::clamp(seconds, MinimumCheckInterval, MaximumCheckInterval);
    return std::chrono::milliseconds(qRound64(bounded * 1000.0));
}

void RSSBrevlinController::checkFeeds()
{
    checkFeedList(rssFeeds(), true);
}

void RSSBrevlinController::checkDueFeeds()
{
    const QDateTime now = m_clock();
    const std::chrono::milliseconds global = globalCheckInterval();
    const QList<RSSFeed *> feeds = rssFeeds();
    QList<RSSFeed *> due;
    for (RSSFeed *feed : feeds) {
        if (feed->isDue(now, global)) {
            due.append(feed);
        }
    }
    if (!due.isEmpty()) {
        checkFeedList(due, true);
    }
    retimeIfNeeded(feeds);
}

void RSSBrevlinController::checkFeedsAtStartUp()
{
    // Loading the feeds for the first menu already started a check of each; starting it again
    // would abandon a request the server is already answering.
    checkFeedList(rssFeeds(), false);
}

void RSSBrevlinController::checkFeedList(const QList<RSSFeed *> &feeds, bool restartRunning)
{
    if (m_notificationLimits) {
        m_notificationLimits->beginCheck();
    }
    const QDateTime now = m_clock();
    for (RSSFeed *feed : feeds) {
        feed->setCheckRequested(now);
        if (restartRunning || !feed->isDownloading()) {
            feed->checkFeed();
        }
    }
    startRound(feeds);
    Q_EMIT feedsChecked(feeds);
}

// The round tells the notification limits when the check is over, so that what they left out
// is summed up once, at the end.
void RSSBrevlinController::startRound(const QList<RSSFeed *> &feeds)
{
    if (m_round) {
        m_round->disconnect(this);
        m_round->deleteLater();
    }
    if (!m_notificationLimits) {
        return;
    }
    m_round = new FeedCheckRound(feeds, this);
    connect(m_round, &FeedCheckRound::finished, this, [this] { m_notificationLimits->endCheck(); });
    m_round->start();
}

void RSSBrevlinController::quit()
{
    Q_EMIT quitRequested();
}

void RSSBrevlinController::postNewRSSItem(RSSItem *item)
{
    // Announced once the document's parse is over, when the limits know how many came.
    if (m_notificationLimits && item) {
        m_notificationLimits->addEntry(item);
    }
}

bool RSSBrevlinController::pinGrowlNotification()
{
    return NotificationPinning::shouldPin(*UserDefaults::standardUserDefaults());
}
