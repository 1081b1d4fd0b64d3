#pragma once

#include "app/CommandResult.h"

class QTextStream;
class Rss_Brevlin_AppDelegate;

// --check-once: the program's start-up, with its check of every feed, without the program
// around it. Waits until every download has ended and every document is parsed, saves, and
// announces the new entries, prints one line per feed: its name, the entries this check
// stored, its error message; then,
// when asked, the status menu as it stands after the check. SIGTERM, SIGINT or SIGHUP end the
// wait early; what was parsed by then is saved.
namespace CheckOnceCommand {

struct Options
{
    // Announces the new entries nowhere.
    bool quietNotifications = false;
    // Prints the status menu after the check.
    bool printMenu = false;
};

CommandResult run(Rss_Brevlin_AppDelegate *delegate, QTextStream &out, const Options &options);

} // namespace CheckOnceCommand
