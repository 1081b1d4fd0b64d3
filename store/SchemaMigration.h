#pragma once

#include <QList>
#include <QStringList>

// One step of the store's schema, from version N to N + 1. A store file is created at
// version 1 by the data model and then brought through every step, so a new store and
// an upgraded one always end with the same tables. A new column is one more step at the
// end of the list; steps already released never change.
struct SchemaMigration
{
    QStringList statements;

    // The steps of this version of the program, the first one leading from version 1 to 2.
    static const QList<SchemaMigration> &storeMigrations();
    // The version a store is at after the given steps.
    static int versionAfter(const QList<SchemaMigration> &migrations) { return 1 + int(migrations.size()); }
};
