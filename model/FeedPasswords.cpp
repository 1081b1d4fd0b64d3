#include "model/FeedPasswords.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "model/ModelLog.h"
#include "platform/PasswordStore.h"

FeedPasswords *FeedPasswords::instance()
{
    static FeedPasswords *const passwords = new FeedPasswords(QCoreApplication::instance());
    return passwords;
}

void FeedPasswords::setKeyring(PasswordStore *keyring)
{
    m_keyring = keyring;
    m_failed = false;
    m_unavailableMessage.clear();
}

PasswordStore *FeedPasswords::keyring() const
{
    return m_failed ? nullptr : m_keyring;
}

void FeedPasswords::keyringFailed(const QString &reason)
{
    if (m_failed) {
        return;
    }
    m_failed = true;
    m_unavailableMessage = tr("Feed passwords stay in the store, the keyring is not available: %1").arg(reason);
    qCWarning(lcModel, "%s", qPrintable(m_unavailableMessage));
    Q_EMIT keyringUnavailable(m_unavailableMessage);
}

void FeedPasswords::changeStarted()
{
    ++m_changes;
}

void FeedPasswords::changeEnded()
{
    if (m_changes > 0 && --m_changes == 0) {
        Q_EMIT changesEnded();
    }
}

bool FeedPasswords::waitForChanges(std::chrono::milliseconds limit)
{
    if (m_changes == 0) {
        return true;
    }
    QEventLoop loop;
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    connect(this, &FeedPasswords::changesEnded, &loop, &QEventLoop::quit);
    loop.exec();
    return m_changes == 0;
}
