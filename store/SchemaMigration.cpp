#include "store/SchemaMigration.h"

const QList<SchemaMigration> &SchemaMigration::storeMigrations()
{
    // Empty: the schema has not changed since version 1.
    static const QList<SchemaMigration> migrations;
    return migrations;
}
