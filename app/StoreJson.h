#pragma once

#include <QList>

class QTextStream;
class RSSFeed;

// The whole store as JSON, for scripts and backups: every feed with its entries (newest
// first) and their sub-links. Dates are ISO 8601 in UTC with a "Z"; absent values are
// null. Logins and passwords are left out. The document is written feed by feed, so that a
// store of any size is dumped in the memory of its largest feed.
namespace StoreJson {

void dump(const QList<RSSFeed *> &feeds, QTextStream &out);

} // namespace StoreJson
