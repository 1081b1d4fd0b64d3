#pragma once

#include <QString>

#include <optional>

// One process at a time owns the store: an exclusive lock on a file beside it. The kernel
// drops the lock when its holder dies, however it dies, so a crash never leaves the store
// locked. The lock file itself is left in place: removing it would let a newcomer lock a
// fresh file while an older process still holds the old one.
class StoreLock
{
public:
    enum class Outcome { Locked, HeldElsewhere, Failed };

    explicit StoreLock(const QString &storePath);
    ~StoreLock();
    StoreLock(const StoreLock &) = delete;
    StoreLock &operator=(const StoreLock &) = delete;

    // Never waits. Failed: the lock file could not be opened, and errorString() says why.
    Outcome tryLock();
    bool isLocked() const { return m_fd >= 0; }
    void unlock();

    QString lockFilePath() const { return m_lockFilePath; }
    QString errorString() const { return m_errorString; }

    static QString lockFilePathFor(const QString &storePath);
    // The process that holds the lock of the store at storePath (this one included), as the
    // kernel knows it; nothing when no process holds it.
    static std::optional<qint64> holderProcessId(const QString &storePath);

private:
    QString m_lockFilePath;
    QString m_errorString;
    int m_fd = -1;
};
