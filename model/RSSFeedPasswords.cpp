#include "model/RSSFeed.h"

#include <QPointer>
#include <QTimer>

#include <chrono>

#include "model/FeedPasswords.h"

namespace {

// A keyring that asks the user to unlock it waits for an answer; a check does not wait for ever.
constexpr std::chrono::seconds keyringReadLimit(60);

PasswordStore *keyring()
{
    return FeedPasswords::instance()->keyring();
}

// Counts a write or delete until the keyring answered, for a command that must not end before.
void watchChange(PasswordJob *job, std::function<void(PasswordJob::Outcome, const QString &error)> done)
{
    FeedPasswords::instance()->changeStarted();
    QObject::connect(job, &PasswordJob::finished, job,
                     [done = std::move(done)](PasswordJob::Outcome outcome, const QString &, const QString &error) {
                         if (outcome == PasswordJob::Outcome::Unavailable) {
                             FeedPasswords::instance()->keyringFailed(error);
                         }
                         done(outcome, error);
                         FeedPasswords::instance()->changeEnded();
                     });
}

} // namespace

std::optional<QString> RSSFeed::password() const
{
    if (m_password) {
        return m_password;
    }
    return m_keyringState == KeyringState::Known ? m_keyringPassword : std::nullopt;
}

void RSSFeed::setPassword(const std::optional<QString> &password)
{
    if (password != this->password()) {
        setRetryAfter(std::nullopt);
    }
    m_password = password;
    if (!password) {
        // No password is no password in the keyring either.
        m_keyringPassword.reset();
        m_keyringState = KeyringState::Known;
        const std::optional<PasswordKey> key = keyringKey();
        if (keyring() && key) {
            deleteKeyringPassword(*key);
        }
    }
    didChangeValueForKey(QStringLiteral("password"));
    movePasswordToKeyring();
    if (!m_didConnect) {
        checkFeed();
    }
}

void RSSFeed::whenPasswordKnown(QObject *receiver, std::function<void()> ready)
{
    if (!keyring() || !keyringKey() || m_password || m_keyringState == KeyringState::Known) {
        ready();
        // A store of an earlier version, or of a run without a keyring, still holds it.
        movePasswordToKeyring();
        return;
    }
    connect(this, &RSSFeed::passwordKnown, receiver, std::move(ready), Qt::SingleShotConnection);
    if (m_keyringState != KeyringState::Reading) {
        readKeyringPassword();
    }
}

std::optional<PasswordKey> RSSFeed::keyringKey() const
{
    // Only a login is ever sent with the password; a feed without one needs none kept.
    if (!m_url || !m_login || m_login->isEmpty()) {
        return std::nullopt;
    }
    return PasswordKey{*m_url, *m_login};
}

void RSSFeed::rememberKeyringKey()
{
    if (!m_password && !m_keyringKey) {
        m_keyringKey = keyringKey();
    }
}

void RSSFeed::readKeyringPassword()
{
    m_keyringState = KeyringState::Reading;
    const PasswordKey where = m_keyringKey.value_or(*keyringKey());
    PasswordJob *job = keyring()->readPassword(where);
    connect(job, &PasswordJob::finished, this,
            [this, where](PasswordJob::Outcome outcome, const QString &password, const QString &error) {
                onKeyringRead(where, outcome, password, error);
            });
    // Counted after onKeyringRead, which may start the write that moves the password.
    FeedPasswords::instance()->changeStarted();
    connect(job, &PasswordJob::finished, job, [] { FeedPasswords::instance()->changeEnded(); });
    QTimer::singleShot(keyringReadLimit, this, [this, job = QPointer<PasswordJob>(job)] {
        if (job && m_keyringState == KeyringState::Reading) {
            m_keyringState = KeyringState::Unknown;
            Q_EMIT passwordKnown();
        }
    });
}

void RSSFeed::onKeyringRead(const PasswordKey &where, PasswordJob::Outcome outcome, const QString &password,
                            const QString &error)
{
    // A password set or moved while the keyring read is newer than what it read.
    if (m_keyringState == KeyringState::Known) {
        Q_EMIT passwordKnown();
        return;
    }
    switch (outcome) {
    case PasswordJob::Outcome::Done:
        m_keyringPassword = password;
        m_keyringState = KeyringState::Known;
        // Kept under an earlier address or login: it follows the feed to the new one.
        if (keyringKey() && where != *keyringKey() && !m_password) {
            m_password = password;
            didChangeValueForKey(QStringLiteral("password"));
            movePasswordToKeyring();
        }
        break;
    case PasswordJob::Outcome::NotFound:
        m_keyringPassword.reset();
        m_keyringState = KeyringState::Known;
        break;
    case PasswordJob::Outcome::Unavailable:
        FeedPasswords::instance()->keyringFailed(error);
        m_keyringState = KeyringState::Unknown;
        break;
    }
    Q_EMIT passwordKnown();
}

void RSSFeed::movePasswordToKeyring()
{
    const std::optional<PasswordKey> key = keyringKey();
    if (!keyring() || !key || m_movingPassword) {
        return;
    }
    if (!m_password) {
        // Kept under the old address or login and not read in this run: read now, and the answer
        // moves it, since a command (or a program quitting) may end before the next check.
        if (m_keyringState == KeyringState::Unknown && m_keyringKey && *m_keyringKey != *key) {
            readKeyringPassword();
            return;
        }
        // A password the keyring gave under the old address or login is written under the new.
        if (m_keyringState != KeyringState::Known || !m_keyringPassword || !m_keyringKey || *m_keyringKey == *key) {
            return;
        }
        m_password = m_keyringPassword;
        didChangeValueForKey(QStringLiteral("password"));
    }
    m_movingPassword = true;
    const QString value = *m_password;
    watchChange(keyring()->writePassword(*key, value),
                [feed = QPointer<RSSFeed>(this), key = *key, value](PasswordJob::Outcome outcome, const QString &) {
                    if (!feed) {
                        return;
                    }
                    feed->m_movingPassword = false;
                    if (outcome == PasswordJob::Outcome::Done) {
                        feed->onPasswordMoved(key, value);
                    }
                });
}

void RSSFeed::onPasswordMoved(const PasswordKey &key, const QString &password)
{
    // Edited while the keyring wrote: the newer value, if any, goes the same way.
    if (m_password != password || keyringKey() != key) {
        movePasswordToKeyring();
        return;
    }
    if (m_keyringKey && *m_keyringKey != key) {
        deleteKeyringPassword(*m_keyringKey);
    }
    m_keyringKey.reset();
    m_keyringPassword = password;
    m_keyringState = KeyringState::Known;
    // The store's copy goes only now that the keyring has confirmed it.
    m_password.reset();
    didChangeValueForKey(QStringLiteral("password"));
    Q_EMIT FeedPasswords::instance()->storePasswordMoved();
}

void RSSFeed::deleteKeyringPassword(const PasswordKey &key)
{
    watchChange(keyring()->deletePassword(key), [](PasswordJob::Outcome, const QString &) {});
}
