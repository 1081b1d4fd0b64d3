#include "app/CheckOnceCommand.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <memory>

#include "app/DesktopPlatform.h"
#include "app/MenuPrinter.h"
#include "app/Rss_Brevlin_AppDelegate.h"
#include "app/TabSeparated.h"
#include "controller/FeedCheckRound.h"
#include "controller/RSSBrevlinController.h"
#include "model/FeedPasswords.h"
#include "model/RSSFeed.h"
#include "platform/NotificationService.h"
#include "platform/StandardErrorAlerts.h"
#include "platform/UnixSignalWatcher.h"
#include "store/ObjectContext.h"

namespace CheckOnceCommand {

namespace {

// Posts travel to the notification server asynchronously; exiting before they arrived would
// lose them. The service drops a post its server does not answer in time; the deadline guards
// the exit should anything else keep one on its way.
void waitForPosts(const NotificationService *service)
{
    QDeadlineTimer deadline(10000);
    while (service->hasPostsInFlight() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

} // namespace

CommandResult run(Rss_Brevlin_AppDelegate *delegate, QTextStream &out, const Options &options)
{
    ObjectContext *context = delegate->managedObjectContext();
    if (!delegate->hasStore()) {
        return CommandResult::failure();
    }
    StandardErrorAlerts alerts;
    RSSBrevlinController controller(context, &alerts);
    controller.setCachesFolder(delegate->cachesFolder(), delegate->storeFilePath());
    std::unique_ptr<NotificationService> notifications;
    if (!options.quietNotifications) {
        DesktopPlatform::installIdleTimeProviders();
        notifications.reset(DesktopPlatform::createNotificationService(nullptr));
        controller.setNotificationService(notifications.get());
    }
    UnixSignalWatcher watcher({SIGTERM, SIGINT, SIGHUP});
    QEventLoop loop;
    std::unique_ptr<FeedCheckRound> round;
    // Saved along the way too, as the program does after its documents: what was announced
    // survives a check that is killed, and new entries' texts leave memory once stored instead
    // of piling up for the whole check. Every save waits for the disk, so one serves a batch of
    // documents, and one comes a second after the last document of a batch that stays short. A
    // save that fails keeps its changes for the next one, and the last one reports. The unsaved
    // texts of a batch are most of what a check holds at its peak: eight documents keep that near
    // a megabyte and cost no more time than sixteen.
    constexpr int documentsPerSave = 8;
    int unsavedDocuments = 0;
    QTimer saveTimer;
    saveTimer.setSingleShot(true);
    const auto saveNow = [&] {
        saveTimer.stop();
        unsavedDocuments = 0;
        context->save();
    };
    QObject::connect(&saveTimer, &QTimer::timeout, context, saveNow);
    const auto queueSave = [&] {
        if (++unsavedDocuments >= documentsPerSave) {
            saveNow();
        } else if (!saveTimer.isActive()) {
            saveTimer.start(std::chrono::seconds(1));
        }
    };
    // A check the timer starts before the first one ended (a very short interval and a slow
    // server) supersedes it; the wait is for the newest.
    QObject::connect(&controller, &RSSBrevlinController::feedsChecked, &loop, [&](const QList<RSSFeed *> &feeds) {
        round = std::make_unique<FeedCheckRound>(feeds);
        QObject::connect(round.get(), &FeedCheckRound::finished, &loop, &QEventLoop::quit);
        QObject::connect(round.get(), &FeedCheckRound::feedChecked, &loop, queueSave);
        round->start();
    });
    int interruption = 0;
    QObject::connect(&watcher, &UnixSignalWatcher::received, &loop, [&](int signalNumber) {
        interruption = signalNumber;
        loop.quit();
    });
    controller.awakeFromNib();
    if (round && !round->isFinished()) {
        loop.exec();
    }
    if (notifications) {
        waitForPosts(notifications.get());
    }
    // Passwords the check moved from the store to the keyring leave the store with this save.
    FeedPasswords::instance()->waitForChanges();
    if (!context->save()) {
        return CommandResult::failure(QStringLiteral("cannot save the store: %1").arg(context->errorString()));
    }
    for (RSSFeed *feed : round ? round->feeds() : QList<RSSFeed *>()) {
        out << TabSeparated::line({feed->name().value_or(QString()), QString::number(round->newEntries(feed)),
                                   feed->errorMessage().value_or(QString())});
    }
    if (options.printMenu) {
        MenuPrinter::print(*controller.feedsMenu(), out);
    }
    if (interruption) {
        return CommandResult::failure(
            QStringLiteral("stopped by signal %1 before every feed was checked; what arrived is saved")
                .arg(interruption));
    }
    return CommandResult::success();
}

} // namespace CheckOnceCommand
