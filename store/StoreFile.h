#pragma once

#include <QSqlDatabase>
#include <QString>

#include "store/SchemaMigration.h"

// Opens the SQLite store file and brings it to the current schema: a new one is created
// from the data model, an older one migrated. Refuses, without touching them, files that
// are not stores of ours or of a newer version.
class StoreFile
{
public:
    explicit StoreFile(const QString &connectionName);

    // schema: the data model, the SQL that creates a version 1 store; migrations: the steps
    // from there to the current version.
    bool open(const QString &path, const QString &schema, const QList<SchemaMigration> &migrations);
    QSqlDatabase database() const { return m_database; }
    QString errorString() const { return m_errorString; }

private:
    bool fail(const QString &message);
    bool createSchema(const QString &schema);
    bool migrate(int version, const QList<SchemaMigration> &migrations);
    bool execInTransaction(const QStringList &statements, QString *error);
    bool ensureFileExists(const QString &path);

    QString m_connectionName;
    QSqlDatabase m_database;
    QString m_errorString;
};
