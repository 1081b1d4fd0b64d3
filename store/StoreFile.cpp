#include "store/StoreFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include "platform/OwnerOnly.h"

namespace {

// SQLITE_BUSY and SQLITE_LOCKED: another connection holds a lock that outlasted the busy timeout.
bool isBusy(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("5") || code == QLatin1String("6");
}

} // namespace

StoreFile::StoreFile(const QString &connectionName)
    : m_connectionName(connectionName)
{
}

bool StoreFile::fail(const QString &message)
{
    m_errorString = message;
    if (m_database.isOpen()) {
        m_database.close();
    }
    return false;
}

bool StoreFile::ensureFileExists(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists()) {
        if (!info.isFile()) {
            return fail(QCoreApplication::translate("StoreFile", "The store \"%1\" is not a file.").arg(path));
        }
        // A store made before we kept it private, or loosened since, is tightened now.
        QString error;
        if (!OwnerOnly::restrict(path, &error)) {
            return fail(QCoreApplication::translate("StoreFile", "The store \"%1\" could not be made private: %2")
                            .arg(path, error));
        }
        return true;
    }
    // Creating the file would fail with "File exists", which says nothing of the cause.
    if (info.isSymLink()) {
        return fail(QCoreApplication::translate("StoreFile",
                                                "The store \"%1\" is a symbolic link to \"%2\", which does not exist.")
                        .arg(path, info.symLinkTarget()));
    }
    // The store holds passwords, so it is created readable by its owner only.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return fail(QCoreApplication::translate("StoreFile", "The store \"%1\" could not be created: %2")
                        .arg(path, file.errorString()));
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

bool StoreFile::open(const QString &path, const QString &schema, const QList<SchemaMigration> &migrations)
{
    if (!ensureFileExists(path)) {
        return false;
    }
    m_database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_database.setDatabaseName(path);
    if (!m_database.open()) {
        return fail(QCoreApplication::translate("StoreFile", "The store \"%1\" could not be opened: %2")
                        .arg(path, m_database.lastError().text()));
    }
    QSqlQuery query(m_database);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        if (isBusy(query.lastError())) {
            return fail(QCoreApplication::translate("StoreFile",
                                                    "The store \"%1\" is in use by another program, which keeps "
                                                    "it locked (%2).")
                            .arg(path, query.lastError().databaseText()));
        }
        return fail(QCoreApplication::translate("StoreFile", "The file \"%1\" is not a store of this program: %2")
                        .arg(path, query.lastError().text()));
    }
    int version = query.value(0).toInt();
    query.finish();
    // Passwords leave the store once the keyring keeps them: what a save removes is overwritten,
    // not left behind in the file's free space.
    query.exec(QStringLiteral("PRAGMA secure_delete = ON"));
    // The store is read in the order it was written, a feed's entries side by side, and each page
    // is wanted once per pass: SQLite's default 2 MB of cached pages would mostly hold pages read
    // and done with, in every process, for no fewer reads.
    query.exec(QStringLiteral("PRAGMA cache_size = -512"));
    const int schemaVersion = SchemaMigration::versionAfter(migrations);
    if (version > schemaVersion) {
        return fail(QCoreApplication::translate("StoreFile",
                                                "The store \"%1\" was written by a newer version of this "
                                                "program (schema %2, this version reads %3).")
                        .arg(path)
                        .arg(version)
                        .arg(schemaVersion));
    }
    if (version == 0) {
        if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next()) {
            return fail(query.lastError().text());
        }
        if (query.value(0).toInt() != 0) {
            return fail(QCoreApplication::translate("StoreFile",
                                                    "The file \"%1\" is a database, but not a store of this program.")
                            .arg(path));
        }
        query.finish();
        if (!createSchema(schema)) {
            return false;
        }
        version = 1;
    }
    if (version < schemaVersion && !migrate(version, migrations)) {
        return false;
    }
    // SQLite's rollback journal (its default) makes every save all-or-nothing: a process
    // killed in the middle of one leaves the previous state of the store intact.
    return true;
}

bool StoreFile::createSchema(const QString &schema)
{
    if (schema.trimmed().isEmpty()) {
        return fail(QCoreApplication::translate("StoreFile", "The data model is missing."));
    }
    QString sql;
    for (const QString &line : schema.split(QLatin1Char('\n'))) {
        if (!line.trimmed().startsWith(QLatin1String("--"))) {
            sql += line + QLatin1Char('\n');
        }
    }
    QStringList statements;
    for (const QString &statement : sql.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!statement.trimmed().isEmpty()) {
            statements.append(statement);
        }
    }
    QString error;
    if (!execInTransaction(statements, &error)) {
        return fail(QCoreApplication::translate("StoreFile", "The store could not be created: %1").arg(error));
    }
    return true;
}

bool StoreFile::migrate(int version, const QList<SchemaMigration> &migrations)
{
    // All pending steps share one transaction: a store is at one released version or
    // another, never between two, and a failing step leaves the file as it was.
    QStringList statements;
    for (qsizetype step = version - 1; step < migrations.size(); ++step) {
        statements += migrations.at(step).statements;
        statements.append(QStringLiteral("PRAGMA user_version = %1").arg(step + 2));
    }
    QString error;
    if (!execInTransaction(statements, &error)) {
        return fail(QCoreApplication::translate("StoreFile", "The store could not be upgraded from schema %1: %2")
                        .arg(version)
                        .arg(error));
    }
    return true;
}

bool StoreFile::execInTransaction(const QStringList &statements, QString *error)
{
    if (!m_database.transaction()) {
        *error = m_database.lastError().text();
        return false;
    }
    QSqlQuery query(m_database);
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            *error = query.lastError().text();
            query.finish();
            m_database.rollback();
            return false;
        }
    }
    query.finish();
    if (!m_database.commit()) {
        *error = m_database.lastError().text();
        m_database.rollback();
        return false;
    }
    return true;
}
