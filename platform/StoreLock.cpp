#include "platform/StoreLock.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
    // O_NOFOLLOW: a link planted in our place must not make us create or lock a file elsewhere.
    // O_CLOEXEC: a program we start (the web browser) must not inherit the lock and keep it.
    const QByteArray path = QFile::encodeName(m_lockFilePath);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_errorString = QCoreApplication::translate("StoreLock", "The lock file \"%1\" could not be opened: %2")
                            .arg(m_lockFilePath, QString::fromLocal8Bit(std::strerror(errno)));
        return Outcome::Failed;
    }
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return Outcome::HeldElsewhere;
        }
        m_errorString = QCoreApplication::translate("StoreLock", "The lock file \"%1\" could not be locked: %2")
                            .arg(m_lockFilePath, QString::fromLocal8Bit(std::strerror(error)));
        return Outcome::Failed;
    }
    m_fd = fd;
    return Outcome::Locked;
}

void StoreLock::unlock()
{
    if (m_fd >= 0) {
        // Closing the only descriptor of the open file releases its lock.
        ::close(m_fd);
        m_fd = -1;
    }
}
