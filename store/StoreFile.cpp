#include "store/StoreFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

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
        return true;
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

bool StoreFile::open(const QString &path, const QString &schema)
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
        return fail(QCoreApplication::translate("StoreFile", "The file \"%1\" is not a store of this program: %2")
                        .arg(path, query.lastError().text()));
    }
    const int version = query.value(0).toInt();
    query.finish();
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
    if (!m_database.transaction()) {
        return fail(m_database.lastError().text());
    }
    QString sql;
    for (const QString &line : schema.split(QLatin1Char('\n'))) {
        if (!line.trimmed().startsWith(QLatin1String("--"))) {
            sql += line + QLatin1Char('\n');
        }
    }
    QSqlQuery query(m_database);
    for (const QString &statement : sql.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (statement.trimmed().isEmpty()) {
            continue;
        }
        if (!query.exec(statement)) {
            const QString error = query.lastError().text();
            m_database.rollback();
            return fail(QCoreApplication::translate("StoreFile", "The store could not be created: %1").arg(error));
        }
    }
    if (!m_database.commit()) {
        return fail(m_database.lastError().text());
    }
    return true;
}
