#pragma once

#include <QString>

#include <optional>

class QAuthenticator;

// A feed's login and password, which travel together: from the command line, the subscription
// window or the address itself to the feed, and from the feed to its downloads. Either may be
// absent, and absent is not empty.
struct Credentials
{
    std::optional<QString> login;
    std::optional<QString> password;

    bool operator==(const Credentials &) const = default;

    // Both are given, if only as empty strings.
    bool isComplete() const { return login && password; }
    // Fills the answer to an authentication challenge; false, leaving it alone, when they cannot
    // answer one: Qt takes an answer with an empty user name for none.
    bool answer(QAuthenticator *authenticator) const;
};
