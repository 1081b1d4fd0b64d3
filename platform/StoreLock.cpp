#include "platform/StoreLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A POSIX record lock, because the kernel tells any process who holds one (F_GETLK), so that a
// command can check that the program answering for the store on the session bus is its owner.
// Such a lock belongs to the process, not to the descriptor: a second descriptor of the file in
// this process would not conflict with it, and closing that descriptor would drop it. So the
// process keeps a list of the lock files it holds and never opens one of them a second time.
namespace {

using FileId = QPair<quint64, quint64>;

QSet<FileId> &locksHeldHere()
{
    static QSet<FileId> held;
    return held;
}

std::optional<FileId> fileIdOf(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return std::nullopt;
    }
    return FileId(quint64(status.st_dev), quint64(status.st_ino));
}

bool isHeldHere(const QString &path)
{
    const std::optional<FileId> id = fileIdOf(path);
    return id && locksHeldHere().contains(*id);
}

struct flock wholeFile(short type)
{
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock;
}

int lockControl(int fd, int command, struct flock *lock)
{
    int result;
    do {
        result = ::fcntl(fd, command, lock);
    } while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

StoreLock::StoreLock(const QString &storePath)
    : m_lockFilePath(lockFilePathFor(storePath))
{
}

StoreLock::~StoreLock()
{
    unlock();
}

QString StoreLock::lockFilePathFor(const QString &storePath)
{
    return storePath + QStringLiteral(".lock");
}

StoreLock::Outcome StoreLock::tryLock()
{
    if (isLocked()) {
        return Outcome::Locked;
    }
    if (isHeldHere(m_lockFilePath)) {
        return Outcome::HeldElsewhere;
    }
    // O_NOFOLLOW: a link planted in our place must not make us create or lock a file elsewhere.
    // O_CLOEXEC: a program we start (the web browser) must not inherit the descriptor.
    const QByteArray path = QFile::encodeName(m_lockFilePath);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_errorString = QCoreApplication::translate("StoreLock", "The lock file \"%1\" could not be opened: %2")
                            .arg(m_lockFilePath, QString::fromLocal8Bit(std::strerror(errno)));
        return Outcome::Failed;
    }
    struct flock lock = wholeFile(F_WRLCK);
    struct stat status;
    if (lockControl(fd, F_SETLK, &lock) != 0 || ::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EACCES || error == EAGAIN) {
            return Outcome::HeldElsewhere;
        }
        m_errorString = QCoreApplication::translate("StoreLock", "The lock file \"%1\" could not be locked: %2")
                            .arg(m_lockFilePath, QString::fromLocal8Bit(std::strerror(error)));
        return Outcome::Failed;
    }
    locksHeldHere().insert(FileId(quint64(status.st_dev), quint64(status.st_ino)));
    m_fd = fd;
    return Outcome::Locked;
}

void StoreLock::unlock()
{
    if (m_fd < 0) {
        return;
    }
    struct stat status;
    if (::fstat(m_fd, &status) == 0) {
        locksHeldHere().remove(FileId(quint64(status.st_dev), quint64(status.st_ino)));
    }
    // Closing the descriptor releases the lock.
    ::close(m_fd);
    m_fd = -1;
}

std::optional<qint64> StoreLock::holderProcessId(const QString &storePath)
{
    const QString lockFile = lockFilePathFor(storePath);
    if (isHeldHere(lockFile)) {
        return qint64(::getpid());
    }
    const int fd = ::open(QFile::encodeName(lockFile).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct flock probe = wholeFile(F_WRLCK);
    const bool asked = lockControl(fd, F_GETLK, &probe) == 0;
    ::close(fd);
    if (!asked || probe.l_type == F_UNLCK || probe.l_pid <= 0) {
        return std::nullopt;
    }
    return qint64(probe.l_pid);
}
