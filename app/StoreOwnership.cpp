#include "app/StoreOwnership.h"

#include <QDeadlineTimer>
#include <QThread>

#include <chrono>

#include "app/Rss_Brevlin_AppDelegate.h"
#include "platform/ProgramService.h"

namespace StoreOwnership {

namespace {

constexpr std::chrono::seconds patience(5);
constexpr std::chrono::milliseconds poll(100);

} // namespace

Owner takeOrFind(Rss_Brevlin_AppDelegate *delegate, ProgramService *program)
{
    const QDeadlineTimer deadline(patience);
    for (;;) {
        switch (delegate->lockStore()) {
        case StoreLock::Outcome::Locked:
            return Owner::ThisProcess;
        case StoreLock::Outcome::Failed:
            return Owner::Failed;
        case StoreLock::Outcome::HeldElsewhere:
            break;
        }
        if (program->isOwnerReachable(delegate->storeFilePath())) {
            return Owner::RunningProgram;
        }
        if (deadline.hasExpired()) {
            return Owner::UnreachableHolder;
        }
        QThread::msleep(poll.count());
    }
}

} // namespace StoreOwnership
