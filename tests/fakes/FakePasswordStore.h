#pragma once

#include <QHash>
#include <QMetaObject>
#include <QString>

#include "platform/PasswordStore.h"

// A keyring in memory that answers on the next turn of the event loop, or refuses everything.
class FakePasswordStore : public PasswordStore
{
public:
    using PasswordStore::PasswordStore;

    // Keyed by "login at url", as the test reads it.
    QHash<QString, QString> items;
    bool refuses = false;
    int requests = 0;

    static QString itemName(const PasswordKey &key) { return key.login + QStringLiteral(" at ") + key.url; }

    PasswordJob *readPassword(const PasswordKey &key) override
    {
        const auto found = items.constFind(itemName(key));
        return answer(found == items.cend() ? PasswordJob::Outcome::NotFound : PasswordJob::Outcome::Done,
                      found == items.cend() ? QString() : *found);
    }
    PasswordJob *writePassword(const PasswordKey &key, const QString &password) override
    {
        if (!refuses) {
            items.insert(itemName(key), password);
        }
        return answer(PasswordJob::Outcome::Done);
    }
    PasswordJob *deletePassword(const PasswordKey &key) override
    {
        const bool removed = !refuses && items.remove(itemName(key)) > 0;
        return answer(removed ? PasswordJob::Outcome::Done : PasswordJob::Outcome::NotFound);
    }

private:
    PasswordJob *answer(PasswordJob::Outcome outcome, const QString &password = QString())
    {
        ++requests;
        auto *job = new PasswordJob(this);
        const bool refused = refuses;
        QMetaObject::invokeMethod(
            job,
            [job, outcome, password, refused] {
                if (refused) {
                    job->finish(PasswordJob::Outcome::Unavailable, QString(), QStringLiteral("the keyring is locked"));
                } else {
                    job->finish(outcome, password);
                }
            },
            Qt::QueuedConnection);
        return job;
    }
};
