#pragma once

#include <QString>

#include <optional>

#include "platform/Credentials.h"

// A feed to subscribe to, as the user types it or an OPML file lists it.
struct Subscription
{
    QString url;
    std::optional<QString> name;
    Credentials credentials;
    bool showInRecentList = false;
};
