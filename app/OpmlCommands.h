#pragma once

#include "app/CommandResult.h"

class QByteArray;
class QString;
class QTextStream;
class Rss_Brevlin_AppDelegate;

// --import-opml and --export-opml: the subscriptions to and from OPML files.
namespace OpmlCommands {

// Subscribes to the feeds of the document (read from the file at path, which names it in
// messages) and prints how many were added and how many skipped.
CommandResult import(Rss_Brevlin_AppDelegate *delegate, const QByteArray &document, const QString &path,
                     QTextStream &out);
// Writes to path, or to out when path is empty or "-".
CommandResult exportTo(Rss_Brevlin_AppDelegate *delegate, const QString &path, QTextStream &out);

} // namespace OpmlCommands
