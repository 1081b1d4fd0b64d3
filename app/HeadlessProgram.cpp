#include "app/HeadlessProgram.h"

#include <QTimer>

#include <csignal>

#include "app/FeedCheckRound.h"
#include "app/Rss_Brevlin_AppDelegate.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "model/RSSFeed.h"
#include "platform/StandardErrorAlerts.h"
#include "platform/UnixSignalWatcher.h"
#include "store/ObjectContext.h"

namespace {

QString feedTitle(const RSSFeed *feed)
{
    if (feed->name() && !feed->name()->isEmpty()) {
        return *feed->name();
    }
    return feed->url().value_or(QStringLiteral("Feed"));
}

} // namespace

HeadlessProgram::HeadlessProgram(Rss_Brevlin_AppDelegate *delegate, QObject *parent)
    : QObject(parent)
    , m_delegate(delegate)
    , m_checkFeedsTimer(new QTimer(this))
    , m_signalWatcher(new UnixSignalWatcher({SIGTERM, SIGINT, SIGHUP}, this))
{
    connect(m_checkFeedsTimer, &QTimer::timeout, this, &HeadlessProgram::checkFeeds);
    connect(m_signalWatcher, &UnixSignalWatcher::received, this, &HeadlessProgram::quit);
    connect(UserDefaults::standardUserDefaults(), &UserDefaults::changed, this, &HeadlessProgram::recreateTimer);
}

HeadlessProgram::~HeadlessProgram() = default;

bool HeadlessProgram::start()
{
    ObjectContext *context = m_delegate->managedObjectContext();
    if (!m_delegate->hasStore()) {
        return false;
    }
    // Loading wakes every feed, which starts its check; the start-up check then checks
    // them all again, by name, before the timer first fires.
    const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(context);
    if (!feeds) {
        StandardErrorAlerts::printLine(QStringLiteral("cannot read the store: %1").arg(context->errorString()));
        return false;
    }
    recreateTimer();
    StandardErrorAlerts::printLine(
        QStringLiteral("checking %1 feeds every %2 s").arg(feeds->size()).arg(m_checkFeedsTimer->interval() / 1000.0));
    checkFeeds();
    return true;
}

void HeadlessProgram::recreateTimer()
{
    const double seconds = qMax(30.0, UserDefaults::standardUserDefaults()->doubleForKey(Preferences::checkInterval));
    m_checkFeedsTimer->start(qRound64(seconds * 1000.0));
}

void HeadlessProgram::checkFeeds()
{
    // A check still running when the next one starts is cut short by it (each feed cancels
    // its download); what it found so far is reported now.
    if (m_round) {
        onRoundFinished();
    }
    const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(m_delegate->managedObjectContext());
    if (!feeds) {
        StandardErrorAlerts::printLine(
            QStringLiteral("cannot read the store: %1").arg(m_delegate->managedObjectContext()->errorString()));
        return;
    }
    m_round = new FeedCheckRound(*feeds, this);
    connect(m_round, &FeedCheckRound::feedChecked, this, &HeadlessProgram::onFeedChecked);
    connect(m_round, &FeedCheckRound::finished, this, &HeadlessProgram::onRoundFinished);
    m_round->start();
}

void HeadlessProgram::onFeedChecked(RSSFeed *feed)
{
    // Saved after every parsed document, so that ending the session loses nothing.
    m_delegate->saveAction();
    if (!feed->didConnect()) {
        StandardErrorAlerts::printLine(
            QStringLiteral("%1: %2").arg(feedTitle(feed), feed->errorMessage().value_or(QString())));
    }
}

void HeadlessProgram::onRoundFinished()
{
    FeedCheckRound *round = m_round;
    if (!round) {
        return;
    }
    m_round = nullptr;
    StandardErrorAlerts::printLine(QStringLiteral("checked %1 feeds: %2 new entries, %3 failed")
                                       .arg(round->feeds().size())
                                       .arg(round->newEntries())
                                       .arg(round->failures()));
    round->deleteLater();
}

void HeadlessProgram::quit(int signalNumber)
{
    m_checkFeedsTimer->stop();
    StandardErrorAlerts::printLine(QStringLiteral("quitting on signal %1").arg(signalNumber));
    if (m_round) {
        m_round->disconnect(this);
        m_round->deleteLater();
    }
    // Nobody can answer a question here: the quit decision saves, and a failed save is
    // reported and answered "Quit anyway".
    if (m_delegate->applicationShouldTerminate() == Rss_Brevlin_AppDelegate::TerminateReply::TerminateCancel) {
        m_checkFeedsTimer->start();
        return;
    }
    ObjectContext *context = m_delegate->hasStore() ? m_delegate->managedObjectContext() : nullptr;
    m_exitCode = context && context->hasChanges() ? 1 : 0;
    Q_EMIT finished();
}
