#include "store/SqliteStatement.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

SqliteStatement::SqliteStatement(const QSqlDatabase &database, const char *sql)
{
    const QVariant handle = database.driver() ? database.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return;
    }
    m_handle = *static_cast<sqlite3 *const *>(handle.constData());
    if (m_handle && sqlite3_prepare_v2(m_handle, sql, -1, &m_statement, nullptr) != SQLITE_OK) {
        m_statement = nullptr;
    }
}

SqliteStatement::SqliteStatement(const QSqlDatabase &database, const QString &sql)
    : SqliteStatement(database, sql.toUtf8().constData())
{
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

QString SqliteStatement::errorString() const
{
    if (!m_execError.isEmpty()) {
        return m_execError;
    }
    return m_handle ? QString::fromUtf8(sqlite3_errmsg(m_handle)) : QStringLiteral("The store is not open.");
}

void SqliteStatement::bind(int index, qint64 value)
{
    sqlite3_bind_int64(m_statement, index, value);
}

void SqliteStatement::bind(int index, const QString &value)
{
    sqlite3_bind_text16(m_statement, index, value.utf16(), int(value.size() * 2), SQLITE_TRANSIENT);
}

void SqliteStatement::bindUtf8(int index, const QByteArray &value)
{
    sqlite3_bind_text(m_statement, index, value.constData(), int(value.size()), SQLITE_TRANSIENT);
}

bool SqliteStatement::exec()
{
    m_execError.clear();
    next();
    const bool ok = !hasFailed();
    if (!ok) {
        m_execError = errorString();
    }
    reset();
    return ok;
}

qint64 SqliteStatement::lastInsertRowId() const
{
    return m_handle ? sqlite3_last_insert_rowid(m_handle) : 0;
}

int SqliteStatement::changes() const
{
    return m_handle ? sqlite3_changes(m_handle) : 0;
}

void SqliteStatement::bindNull(int index)
{
    sqlite3_bind_null(m_statement, index);
}

bool SqliteStatement::next()
{
    if (!m_statement) {
        return false;
    }
    m_lastResult = sqlite3_step(m_statement);
    return m_lastResult == SQLITE_ROW;
}

bool SqliteStatement::hasFailed() const
{
    return !m_statement || (m_lastResult != SQLITE_OK && m_lastResult != SQLITE_ROW && m_lastResult != SQLITE_DONE);
}

void SqliteStatement::reset()
{
    if (!m_statement) {
        return;
    }
    sqlite3_reset(m_statement);
    m_lastResult = SQLITE_OK;
    sqlite3_clear_bindings(m_statement);
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

qint64 SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

QString SqliteStatement::text(int column) const
{
    // The store keeps UTF-8: asking SQLite for UTF-16 would have it convert into a buffer of its
    // own, which QString then copies once more.
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(m_statement, column));
}

std::optional<QString> SqliteStatement::optionalText(int column) const
{
    if (isNull(column)) {
        return std::nullopt;
    }
    return text(column);
}
