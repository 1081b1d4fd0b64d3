#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// A prepared statement on the SQLite handle under a QtSql connection. The hot paths
// (identifier lookups, loading histories) go through it: QSqlQuery costs tens of
// microseconds a call in value conversions alone.
class SqliteStatement
{
public:
    SqliteStatement(const QSqlDatabase &database, const char *sql);
    SqliteStatement(const QSqlDatabase &database, const QString &sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool isValid() const { return m_statement != nullptr; }
    QString errorString() const;

    void bind(int index, qint64 value);
    void bind(int index, const QString &value);
    void bindUtf8(int index, const QByteArray &value);
    void bindNull(int index);
    // Runs a statement that returns no rows; false on an error (see errorString()).
    bool exec();
    // The row id of the last row inserted on the connection.
    qint64 lastInsertRowId() const;
    // How many rows the last statement run on the connection inserted, changed or deleted.
    int changes() const;
    // Steps to the next row; false at the end or on an error (see errorString()).
    bool next();
    void reset();
    // Whether the statement could not be prepared or its last step failed.
    bool hasFailed() const;

    bool isNull(int column) const;
    qint64 integer(int column) const;
    QString text(int column) const;
    std::optional<QString> optionalText(int column) const;

private:
    sqlite3 *m_handle = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    int m_lastResult = 0;
    // The message of a failed exec(), which the reset that follows would lose.
    QString m_execError;
};
