#pragma once

#include "app/CommandResult.h"

class QTextStream;
class Rss_Brevlin_AppDelegate;
struct CommandLineOptions;

// The commands that edit or list the subscriptions: --add, --remove and --list.
namespace FeedCommands {

CommandResult add(Rss_Brevlin_AppDelegate *delegate, const CommandLineOptions &options);
// Removes the feeds with this address, or else the one feed with this name.
CommandResult remove(Rss_Brevlin_AppDelegate *delegate, const QString &urlOrName);
CommandResult list(Rss_Brevlin_AppDelegate *delegate, QTextStream &out);

} // namespace FeedCommands
