#include "app/widgets/TrayProgram.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <memory>

#include "app/DesktopPlatform.h"
#include "app/ProgramSession.h"
#include "app/Rss_Brevlin_AppDelegate.h"
#include "controller/FeedTableModel.h"
#include "controller/RSSBrevlinController.h"
#include "controller/SavePolicy.h"
#include "controller/widgets/BrevlinWindows.h"
#include "controller/widgets/SubscriptionWindow.h"
#include "controller/widgets/TrayStatusItem.h"
#include "platform/ProgramService.h"
#include "platform/StandardErrorAlerts.h"
#include "platform/widgets/MessageBoxAlerts.h"

namespace TrayProgram {

namespace {

// A check from the command line holds the store for as long as its downloads may take.
constexpr std::chrono::seconds storeWait(150);
constexpr std::chrono::milliseconds lockPoll(500);

// Another process owns the store. A tray program brings its subscription window forward; a
// headless one has no window and says so; a check from the command line is not on the bus
// and ends soon, so this start waits for the store instead of failing where nobody reads it.
// An exit code when this start ends here; nothing when it took the lock.
std::optional<int> waitForTheOtherProgram(Rss_Brevlin_AppDelegate *delegate, StoreLock::Outcome *lock)
{
    const std::unique_ptr<ProgramService> running(DesktopPlatform::createProgramService(nullptr));
    const QDeadlineTimer deadline(storeWait);
    bool saidWaiting = false;
    // Asked again now and then: a tray program that has just taken the lock claims its name
    // on the bus a moment later.
    for (int poll = 0; *lock == StoreLock::Outcome::HeldElsewhere; ++poll) {
        if (poll % 4 == 0) {
            switch (running->askToShowSubscriptions(delegate->storeFilePath())) {
            case ProgramService::ShowOutcome::Shown:
                return 0;
            case ProgramService::ShowOutcome::Refused:
                StandardErrorAlerts::printLine(running->errorString());
                return 1;
            case ProgramService::ShowOutcome::NoAnswer:
                break;
            }
        }
        if (deadline.hasExpired()) {
            StandardErrorAlerts::printLine(
                QStringLiteral("another RSS Brevlin runs on the store %1 and does not answer over the session bus (%2)")
                    .arg(delegate->storeFilePath(), running->errorString()));
            return 1;
        }
        if (!saidWaiting) {
            StandardErrorAlerts::printLine(
                QStringLiteral("waiting for the check that uses the store %1 to end").arg(delegate->storeFilePath()));
            saidWaiting = true;
        }
        QThread::msleep(lockPoll.count());
        *lock = delegate->lockStore();
    }
    return std::nullopt;
}

} // namespace

int run()
{
    // The program lives in the tray: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/rss-brevlin.svg")));
    MessageBoxAlerts alerts;
    Rss_Brevlin_AppDelegate delegate(&alerts);
    StoreLock::Outcome lock = delegate.lockStore();
    if (lock == StoreLock::Outcome::HeldElsewhere) {
        if (const std::optional<int> exitCode = waitForTheOtherProgram(&delegate, &lock)) {
            return *exitCode;
        }
    }
    if (lock == StoreLock::Outcome::Failed) {
        alerts.presentError(delegate.lockErrorString());
        return 1;
    }
    ProgramSession session(&delegate, &alerts, ProgramSession::Reporting::Silent);
    RSSBrevlinController *controller = session.controller();
    BrevlinWindows windows(delegate.managedObjectContext(), &alerts);
    SubscriptionWindow *subscriptions = windows.subscriptionWindow();
    QObject::connect(subscriptions, &SubscriptionWindow::checkAllRequested, controller,
                     &RSSBrevlinController::checkFeeds);

    session.savePolicy()->followEdits(subscriptions->model());

    // Known on the session bus, so that a second start (or a script) can bring the
    // subscription window forward instead of starting a second program.
    ProgramService *programService = DesktopPlatform::createProgramService(&session);
    session.serve(programService);
    programService->registerProgram(delegate.storeFilePath());
    QObject::connect(programService, &ProgramService::showSubscriptionsRequested, subscriptions,
                     [&windows] { windows.makeKeyAndOrderFront(WindowPresenter::Window::ManageSubscriptions); });

    TrayStatusItem statusItem;
    QObject::connect(&session, &ProgramSession::finished, qApp, &QApplication::quit);
    // A store that cannot be used was reported; the tray still offers its windows and Quit.
    const bool hasStore = session.start(&statusItem, &windows);
    // A new user learns at once where to begin.
    if (hasStore && controller->rssFeeds().isEmpty()) {
        windows.makeKeyAndOrderFront(WindowPresenter::Window::ManageSubscriptions);
    }
    QApplication::exec();
    return session.exitCode();
}

} // namespace TrayProgram
