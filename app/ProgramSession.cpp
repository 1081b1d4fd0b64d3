#include "app/ProgramSession.h"

#include <QTimer>

#include <csignal>

#include "app/DesktopPlatform.h"
#include "app/OpmlImportJob.h"
#include "app/Rss_Brevlin_AppDelegate.h"
#include "app/StoreEditCommand.h"
#include "controller/FeedCheckRound.h"
#include "controller/RSSBrevlinController.h"
#include "controller/SavePolicy.h"
#include "model/RSSFeed.h"
#include "platform/FreedMemory.h"
#include "platform/ProgramService.h"
#include "platform/StandardErrorAlerts.h"
#include "platform/UnixSignalWatcher.h"
#include "store/ObjectContext.h"

ProgramSession::ProgramSession(Rss_Brevlin_AppDelegate *delegate, Alerts *alerts, Reporting reporting, QObject *parent)
    : QObject(parent)
    , m_delegate(delegate)
    , m_reporting(reporting)
    , m_controller(new RSSBrevlinController(delegate->managedObjectContext(), alerts, this))
    , m_savePolicy(new SavePolicy(this))
    , m_signalWatcher(new UnixSignalWatcher({SIGTERM, SIGINT, SIGHUP}, this))
{
    connect(m_signalWatcher, &UnixSignalWatcher::received, this, &ProgramSession::quit);
    connect(m_controller, &RSSBrevlinController::quitRequested, this, [this] { quit(0); });
    connect(m_controller, &RSSBrevlinController::feedsChecked, this, &ProgramSession::onFeedsChecked);
    connect(m_savePolicy, &SavePolicy::saveDue, delegate, &Rss_Brevlin_AppDelegate::saveAction);
    m_controller->setCachesFolder(delegate->cachesFolder(), delegate->storeFilePath());
    DesktopPlatform::installIdleTimeProviders();
    m_controller->setNotificationService(DesktopPlatform::createNotificationService(this));
}

ProgramSession::~ProgramSession() = default;

bool ProgramSession::start(StatusItem *statusItem, WindowPresenter *windows)
{
    m_controller->setStatusItem(statusItem);
    m_controller->setWindowPresenter(windows);
    m_controller->awakeFromNib();
    if (!m_delegate->hasStore()) {
        return false;
    }
    report(QStringLiteral("checking %1 feeds every %2 s")
               .arg(m_controller->rssFeeds().size())
               .arg(m_controller->checkFeedsTimer()->interval() / 1000.0));
    return true;
}

void ProgramSession::serve(ProgramService *service)
{
    service->setEditHandler(m_delegate->storeFilePath(),
                            [this, service](const StoreEdit &edit, const ProgramService::EditReply &reply) {
                                if (edit.kind == StoreEdit::Kind::ImportOpml) {
                                    importInSlices(service, edit, reply);
                                } else {
                                    reply(StoreEditCommand::applyForReply(m_delegate, edit));
                                }
                            });
}

void ProgramSession::importInSlices(ProgramService *service, const StoreEdit &edit,
                                    const ProgramService::EditReply &reply)
{
    auto *job = new OpmlImportJob(m_delegate, edit, this);
    m_imports.append(job);
    connect(job, &OpmlImportJob::progressed, service, &ProgramService::reportEditProgress);
    connect(job, &OpmlImportJob::finished, this, [this, job, reply](const StoreEditReply &answer) {
        m_imports.removeOne(job);
        job->deleteLater();
        reply(answer);
    });
    job->start();
}

void ProgramSession::onFeedsChecked(const QList<RSSFeed *> &feeds)
{
    // A check still running when the next one starts is cut short by it (each feed cancels
    // its download); what it found so far is reported now.
    if (m_round) {
        onRoundFinished();
    }
    m_round = new FeedCheckRound(feeds, this);
    m_savePolicy->followRound(m_round);
    connect(m_round, &FeedCheckRound::feedChecked, this, &ProgramSession::onFeedChecked);
    // Queued: the start-up check may end at once, before its first line was written.
    connect(
        m_round, &FeedCheckRound::finished, this,
        [this, round = m_round.data()] {
            if (m_round == round) {
                onRoundFinished();
            }
        },
        Qt::QueuedConnection);
    m_round->start();
}

void ProgramSession::onFeedChecked(RSSFeed *feed)
{
    if (!feed->didConnect()) {
        report(QStringLiteral("%1: %2").arg(feed->displayName(), feed->errorMessage().value_or(QString())));
    }
}

void ProgramSession::onRoundFinished()
{
    FeedCheckRound *round = m_round;
    if (!round) {
        return;
    }
    m_round = nullptr;
    report(QStringLiteral("checked %1 feeds: %2 new entries, %3 failed")
               .arg(round->feeds().size())
               .arg(round->newEntries())
               .arg(round->failures()));
    round->deleteLater();
    FreedMemory::release();
}

void ProgramSession::quit(int signalNumber)
{
    if (signalNumber) {
        report(QStringLiteral("quitting on signal %1").arg(signalNumber));
    }
    if (m_round) {
        m_round->disconnect(this);
        m_round->deleteLater();
    }
    // An import cut short would leave part of its list saved below and its command unanswered.
    for (OpmlImportJob *job : QList<OpmlImportJob *>(m_imports)) {
        job->finishNow();
    }
    // Without a window to ask in (headless, or a signal), a failed save is reported and
    // answered "Quit anyway" by the alerts in use.
    if (m_delegate->applicationShouldTerminate() == Rss_Brevlin_AppDelegate::TerminateReply::TerminateCancel) {
        return;
    }
    ObjectContext *context = m_delegate->hasStore() ? m_delegate->managedObjectContext() : nullptr;
    m_exitCode = context && context->hasChanges() ? 1 : 0;
    Q_EMIT finished();
}

void ProgramSession::report(const QString &line) const
{
    if (m_reporting == Reporting::StandardError) {
        StandardErrorAlerts::printLine(line);
    }
}
