#pragma once

#include <QObject>
#include <QString>

// Which feed a kept password belongs to: the feed's address and its login.
struct PasswordKey
{
    QString url;
    QString login;

    bool operator==(const PasswordKey &other) const = default;
};

// One request to a password store. It ends with finished() exactly once, on a later turn of
// the event loop, and deletes itself afterwards.
class PasswordJob : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        // Read: the password came; write and delete: the keyring confirmed the change.
        Done,
        // Read: nothing is kept under the key; delete: there was nothing to delete.
        NotFound,
        // No keyring answered, or it refused (locked): nothing changed. The error string says why.
        Unavailable,
    };
    Q_ENUM(Outcome)

    using QObject::QObject;

    // For the stores: reports the outcome and lets the job go.
    void finish(Outcome outcome, const QString &password = QString(), const QString &errorString = QString());

Q_SIGNALS:
    void finished(PasswordJob::Outcome outcome, const QString &password, const QString &errorString);
};

// Where feed passwords are kept outside the store file: the desktop's keyring. Every request
// is asynchronous, since a keyring may start on demand or ask the user to unlock it.
class PasswordStore : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual PasswordJob *readPassword(const PasswordKey &key) = 0;
    // Replaces what is kept under the key.
    virtual PasswordJob *writePassword(const PasswordKey &key, const QString &password) = 0;
    virtual PasswordJob *deletePassword(const PasswordKey &key) = 0;
};
