#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>

class RSSFeed;

// Writes the subscriptions as an OPML 2.0 document: one flat outline per feed that has an
// address, named by the feed's name (or its address when it has none). Logins and
// passwords stay out: an exported list is meant to be shared.
class OpmlWriter
{
public:
    static QByteArray write(const QList<RSSFeed *> &feeds, const QDateTime &created);
};
