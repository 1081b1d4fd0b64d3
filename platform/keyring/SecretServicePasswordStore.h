#pragma once

#include "platform/PasswordStore.h"

// Feed passwords in the freedesktop Secret Service (GNOME Keyring, KWallet, KeePassXC), one
// item per feed in the default collection, found by the program, the feed's address and its
// login. Answers arrive through the GLib main loop Qt runs on this thread.
class SecretServicePasswordStore : public PasswordStore
{
    Q_OBJECT
public:
    using PasswordStore::PasswordStore;

    PasswordJob *readPassword(const PasswordKey &key) override;
    PasswordJob *writePassword(const PasswordKey &key, const QString &password) override;
    PasswordJob *deletePassword(const PasswordKey &key) override;
};
