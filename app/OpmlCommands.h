#pragma once

#include <QList>

#include <optional>

#include "app/CommandResult.h"
#include "model/OpmlTransfer.h"

class QByteArray;
class QString;
class QTextStream;
class Rss_Brevlin_AppDelegate;
class StoreAccess;

// --import-opml and --export-opml: the subscriptions to and from OPML files.
namespace OpmlCommands {

// The feed outlines of the document read from the file at path; nothing, with the failure in
// *failure, when it is no OPML.
std::optional<QList<Subscription>> subscriptionsOf(const QByteArray &document, const QString &path,
                                                   CommandResult *failure);
// Saves what an import added and reports it: how many were added and skipped, and each address
// skipped for being no feed address.
CommandResult finishImport(StoreAccess &store, const OpmlTransfer::ImportResult &result, QTextStream &out);
// Subscribes to the feeds of the document (read from the file at path, which names it in
// messages) and prints how many were added and how many skipped.
CommandResult import(Rss_Brevlin_AppDelegate *delegate, const QByteArray &document, const QString &path,
                     QTextStream &out);
// Writes to path, or to out when path is empty or "-".
CommandResult exportTo(Rss_Brevlin_AppDelegate *delegate, const QString &path, QTextStream &out);

} // namespace OpmlCommands
