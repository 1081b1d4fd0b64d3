#pragma once

#include "app/CommandResult.h"

class QTextStream;
class Rss_Brevlin_AppDelegate;

// --import-opml and --export-opml: the subscriptions to and from OPML files.
namespace OpmlCommands {

// Prints how many feeds were added and how many skipped.
CommandResult import(Rss_Brevlin_AppDelegate *delegate, const QString &path, QTextStream &out);
// Writes to path, or to out when path is empty or "-".
CommandResult exportTo(Rss_Brevlin_AppDelegate *delegate, const QString &path, QTextStream &out);

} // namespace OpmlCommands
