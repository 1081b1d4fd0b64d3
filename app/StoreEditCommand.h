#pragma once

#include <optional>

#include "app/CommandLineOptions.h"
#include "app/CommandResult.h"
#include "platform/ProgramService.h"

class QTextStream;
class Rss_Brevlin_AppDelegate;

// The commands that change the store or the preferences (--add, --edit, --remove, --import-opml and
// --set), one way whichever process applies them: the command's own, when it could take the
// store's lock, or the running program that owns the store, which gets them over the session bus.
namespace StoreEditCommand {

// The edit the command line asks for. The OPML file is read here, by the process that was
// given its path (relative to its folder, with its permissions); nothing, with the failure in
// *failure, when it cannot be read.
std::optional<StoreEdit> fromOptions(const CommandLineOptions &options, CommandResult *failure);
// Applies the edit in this process and saves the store.
CommandResult apply(Rss_Brevlin_AppDelegate *delegate, const StoreEdit &edit, QTextStream &out);
// A command's result and output as the asking process reports them.
StoreEditReply replyFor(const CommandResult &result, const QString &output);
// apply(), answered as the asking process reports it.
StoreEditReply applyForReply(Rss_Brevlin_AppDelegate *delegate, const StoreEdit &edit);
// Takes the store's lock and applies the edit, or hands it to the program holding the lock.
// The asking process prints the answer as if the command ran here, and the program's progress
// on a long import meanwhile.
CommandResult run(Rss_Brevlin_AppDelegate *delegate, const CommandLineOptions &options, QTextStream &out);

} // namespace StoreEditCommand
