#include "app/widgets/TrayProgram.h"

#include <QApplication>
#include <QTimer>

#include <memory>

#include "app/DesktopPlatform.h"
#include "app/ProgramSession.h"
#include "app/Rss_Brevlin_AppDelegate.h"
#include "controller/FeedTableModel.h"
#include "controller/RSSBrevlinController.h"
#include "controller/widgets/BrevlinWindows.h"
#include "controller/widgets/SubscriptionWindow.h"
#include "controller/widgets/TrayStatusItem.h"
#include "platform/ProgramService.h"
#include "platform/StandardErrorAlerts.h"
#include "platform/widgets/MessageBoxAlerts.h"

namespace TrayProgram {

namespace {

// Another program owns the store: a second start brings its subscription window forward
// instead of running a second program that would write the same store.
int showRunningProgram(Rss_Brevlin_AppDelegate *delegate)
{
    const std::unique_ptr<ProgramService> running(DesktopPlatform::createProgramService(nullptr));
    if (running->askToShowSubscriptions()) {
        return 0;
    }
    StandardErrorAlerts::printLine(
        QStringLiteral("another RSS Brevlin runs on the store %1 and does not answer over the session bus (%2)")
            .arg(delegate->storeFilePath(), running->errorString()));
    return 1;
}

} // namespace

int run()
{
    // The program lives in the tray: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/rss-brevlin.svg")));
    MessageBoxAlerts alerts;
    Rss_Brevlin_AppDelegate delegate(&alerts);
    switch (delegate.lockStore()) {
    case StoreLock::Outcome::Locked:
        break;
    case StoreLock::Outcome::HeldElsewhere:
        return showRunningProgram(&delegate);
    case StoreLock::Outcome::Failed:
        alerts.presentError(delegate.lockErrorString());
        return 1;
    }
    ProgramSession session(&delegate, &alerts, ProgramSession::Reporting::Silent);
    RSSBrevlinController *controller = session.controller();
    BrevlinWindows windows(delegate.managedObjectContext(), &alerts);
    SubscriptionWindow *subscriptions = windows.subscriptionWindow();
    QObject::connect(subscriptions, &SubscriptionWindow::checkAllRequested, controller,
                     &RSSBrevlinController::checkFeeds);

    // Subscriptions edited in the window are saved a moment after the last change, not only
    // when a check ends or the program quits.
    QTimer saveTimer;
    saveTimer.setSingleShot(true);
    saveTimer.setInterval(1000);
    QObject::connect(&saveTimer, &QTimer::timeout, &delegate, &Rss_Brevlin_AppDelegate::saveAction);
    const auto saveSoon = [&saveTimer] { saveTimer.start(); };
    FeedTableModel *feeds = subscriptions->model();
    QObject::connect(feeds, &FeedTableModel::dataChanged, &saveTimer, saveSoon);
    QObject::connect(feeds, &FeedTableModel::rowsInserted, &saveTimer, saveSoon);
    QObject::connect(feeds, &FeedTableModel::rowsRemoved, &saveTimer, saveSoon);
    QObject::connect(feeds, &FeedTableModel::modelReset, &saveTimer, saveSoon);

    // Known on the session bus, so that a second start (or a script) can bring the
    // subscription window forward instead of starting a second program.
    ProgramService *programService = DesktopPlatform::createProgramService(&session);
    session.serve(programService);
    programService->registerProgram();
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
