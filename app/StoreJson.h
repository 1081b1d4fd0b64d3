#pragma once

#include <QByteArray>
#include <QList>

class RSSFeed;

// The whole store as JSON, for scripts and backups: every feed with its entries (newest
// first) and their sub-links. Dates are ISO 8601 in UTC with a "Z"; absent values are
// null. Logins and passwords are left out.
namespace StoreJson {

QByteArray dump(const QList<RSSFeed *> &feeds);

} // namespace StoreJson
