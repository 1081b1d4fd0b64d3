#include "store/SchemaMigration.h"

namespace {

// SQLite adds AUTOINCREMENT only to a new table: each table is made again under a new name,
// filled, and takes the old one's place; its indexes went with the old table and are made
// again. The ids keep their values, so the references between tables stay right.
QStringList rebuildWithAutoincrement(const QString &table, const QString &columns, const QStringList &indexes)
{
    QStringList statements{
        QStringLiteral("CREATE TABLE %1_new (id INTEGER PRIMARY KEY AUTOINCREMENT, %2)").arg(table, columns),
        QStringLiteral("INSERT INTO %1_new SELECT * FROM %1").arg(table),
        QStringLiteral("DROP TABLE %1").arg(table),
        QStringLiteral("ALTER TABLE %1_new RENAME TO %1").arg(table),
    };
    return statements + indexes;
}

// Version 2: row ids are never handed out twice. A process still holding a deleted feed or
// entry in memory must find its row gone, not find a newcomer under the old id and write
// over it.
SchemaMigration idsNeverReused()
{
    SchemaMigration step;
    step.statements += rebuildWithAutoincrement(
        QStringLiteral("RSSFeed"),
        QStringLiteral("name TEXT, url TEXT, login TEXT, password TEXT, showInRecentList INTEGER, "
                       "errorMessage TEXT, didConnectString TEXT, lastFetchDate INTEGER, link TEXT, generator TEXT"),
        {});
    step.statements += rebuildWithAutoincrement(
        QStringLiteral("RSSItem"),
        QStringLiteral("feed INTEGER REFERENCES RSSFeed(id), author TEXT, date INTEGER, title TEXT, url TEXT, "
                       "guid TEXT, cachedPath TEXT"),
        {QStringLiteral("CREATE INDEX RSSItem_guid ON RSSItem(guid)"),
         QStringLiteral("CREATE INDEX RSSItem_feed ON RSSItem(feed)")});
    step.statements += rebuildWithAutoincrement(
        QStringLiteral("SubLink"), QStringLiteral("item INTEGER NOT NULL REFERENCES RSSItem(id), link TEXT, text TEXT"),
        {QStringLiteral("CREATE INDEX SubLink_item ON SubLink(item)")});
    return step;
}

// Version 3: entries pruned from their feeds' histories keep only what tells that their
// identifiers were seen. Saves now drop the rest when an entry is pruned; this drops what
// the stores of earlier versions kept.
SchemaMigration prunedEntriesKeepNoContent()
{
    const QString pruned = QStringLiteral("item IN (SELECT id FROM RSSItem WHERE feed IS NULL)");
    SchemaMigration step;
    step.statements += QStringLiteral("DELETE FROM SubLink WHERE %1").arg(pruned);
    step.statements += QStringLiteral("DELETE FROM RSSItemText WHERE %1").arg(pruned);
    return step;
}

// Version 4: a pause a server asked for outlives the process that was told, so that a command
// run again at once does not ask the server again.
SchemaMigration retryPauseKept()
{
    return SchemaMigration{{QStringLiteral("ALTER TABLE RSSFeed ADD COLUMN retryAfter INTEGER")}};
}

// Version 5: each feed's own settings (notifications, check interval), and what its document and
// its server say of how often to ask, which a command reports without fetching anything.
SchemaMigration feedSettingsKept()
{
    SchemaMigration step;
    for (const char *column : {"notify INTEGER", "interval INTEGER", "hintedInterval INTEGER", "skipTimes INTEGER"}) {
        step.statements += QStringLiteral("ALTER TABLE RSSFeed ADD COLUMN ") + QLatin1String(column);
    }
    return step;
}

} // namespace

const QList<SchemaMigration> &SchemaMigration::storeMigrations()
{
    static const QList<SchemaMigration> migrations{idsNeverReused(), prunedEntriesKeepNoContent(), retryPauseKept(),
                                                   feedSettingsKept()};
    return migrations;
}
