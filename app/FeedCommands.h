#pragma once

#include "app/CommandResult.h"

class QTextStream;
class Rss_Brevlin_AppDelegate;
struct StoreEdit;

// The commands that edit or list the subscriptions: --add, --edit, --remove and --list.
namespace FeedCommands {

// The feed at the edit's argument, with its name, login, password and recent flag.
CommandResult add(Rss_Brevlin_AppDelegate *delegate, const StoreEdit &options);
// Changes what the edit gives of the feeds with its argument as address, or else of the one feed
// with that name: its name, login, password, notifications, check interval and recent flag.
CommandResult edit(Rss_Brevlin_AppDelegate *delegate, const StoreEdit &edit);
// Removes the feeds with this address, or else the one feed with this name.
CommandResult remove(Rss_Brevlin_AppDelegate *delegate, const QString &urlOrName);
CommandResult list(Rss_Brevlin_AppDelegate *delegate, QTextStream &out);

} // namespace FeedCommands
