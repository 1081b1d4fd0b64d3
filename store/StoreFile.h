#pragma once

#include <QSqlDatabase>
#include <QString>

// Opens the SQLite store file and brings a new one to the current schema. Refuses,
// without touching them, files that are not stores of ours or of a newer version.
class StoreFile
{
public:
    static constexpr int schemaVersion = 1;

    explicit StoreFile(const QString &connectionName);

    // schema: the data model, the SQL that creates a new store.
    bool open(const QString &path, const QString &schema);
    QSqlDatabase database() const { return m_database; }
    QString errorString() const { return m_errorString; }

private:
    bool fail(const QString &message);
    bool createSchema(const QString &schema);
    bool ensureFileExists(const QString &path);

    QString m_connectionName;
    QSqlDatabase m_database;
    QString m_errorString;
};
