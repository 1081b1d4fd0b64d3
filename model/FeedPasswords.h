#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>

#include "platform/PasswordStore.h"

// The keyring as the feeds use it in this run: the one the program installed, whether it still
// answers, the one message when it does not, and the changes it has yet to confirm.
class FeedPasswords : public QObject
{
    Q_OBJECT
public:
    static FeedPasswords *instance();

    // Installs the keyring the feeds keep their passwords in (null: the store keeps them),
    // with a fresh start for its availability.
    void setKeyring(PasswordStore *keyring);
    // The keyring to ask, or null when there is none or it failed earlier in this run: a
    // keyring that refused once would only be asked, and refuse, again and again.
    PasswordStore *keyring() const;

    // Passwords stay in the store from now on; says why once per run.
    void keyringFailed(const QString &reason);
    // The message keyringFailed gave, for a window opened later; empty while none was given.
    QString unavailableMessage() const { return m_unavailableMessage; }

    // Writes and deletes under way, so that a command does not end before the keyring answered.
    void changeStarted();
    void changeEnded();
    // Runs the event loop until no change is under way, at most for limit; false when some is.
    bool waitForChanges(std::chrono::milliseconds limit = std::chrono::seconds(30));

Q_SIGNALS:
    void keyringUnavailable(const QString &message);
    // A password the keyring confirmed has left a feed's record: the store wants saving.
    void storePasswordMoved();
    void changesEnded();

private:
    using QObject::QObject;

    QPointer<PasswordStore> m_keyring;
    bool m_failed = false;
    QString m_unavailableMessage;
    int m_changes = 0;
};
