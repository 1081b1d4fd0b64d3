#pragma once

#include <QString>

#include <optional>

// A feed to subscribe to, as the user types it or an OPML file lists it.
struct Subscription
{
    QString url;
    std::optional<QString> name;
    std::optional<QString> login;
    std::optional<QString> password;
    bool showInRecentList = false;
};
