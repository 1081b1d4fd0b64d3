#pragma once

// Helpers every test program shares: temporary XDG folders, corpus paths, file contents.

#include <QByteArray>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

#include <sys/stat.h>

namespace TestSupport {

// Points XDG_DATA_HOME, XDG_CACHE_HOME and XDG_CONFIG_HOME into a fresh temporary
// folder for the lifetime of the object, so no test touches the user's real files.
class TemporaryHome
{
public:
    TemporaryHome()
    {
        for (const char *name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) {
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        }
        qputenv("XDG_DATA_HOME", QByteArray(m_dir.path().toUtf8() + "/data"));
        qputenv("XDG_CACHE_HOME", QByteArray(m_dir.path().toUtf8() + "/cache"));
        qputenv("XDG_CONFIG_HOME", QByteArray(m_dir.path().toUtf8() + "/config"));
    }
    ~TemporaryHome()
    {
        for (const Saved &saved : m_saved) {
            if (saved.wasSet) {
                qputenv(saved.name, saved.value);
            } else {
                qunsetenv(saved.name);
            }
        }
    }
    TemporaryHome(const TemporaryHome &) = delete;
    TemporaryHome &operator=(const TemporaryHome &) = delete;

    QString path() const { return m_dir.path(); }
    QString dataHome() const { return m_dir.path() + QStringLiteral("/data"); }
    QString cacheHome() const { return m_dir.path() + QStringLiteral("/cache"); }
    QString configHome() const { return m_dir.path() + QStringLiteral("/config"); }

private:
    struct Saved
    {
        const char *name;
        QByteArray value;
        bool wasSet;
    };
    QTemporaryDir m_dir;
    QList<Saved> m_saved;
};

inline QString testDataPath(const QString &name)
{
    return QStringLiteral(BREVLIN_TEST_DATA "/") + name;
}

inline QString corpusPath(const QString &name)
{
    return QStringLiteral(BREVLIN_CORPUS "/") + name;
}

// The whole file, or nothing when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray readTestData(const QString &name)
{
    return fileBytes(testDataPath(name));
}

// Optional strings as table cells: absent and empty stay apart in failure messages.
inline const QString absent = QStringLiteral("<absent>");
inline QString shown(const std::optional<QString> &value)
{
    return value ? *value : absent;
}

// A program's output, line by line, without the empty lines.
inline QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

inline QString binaryPath()
{
    return QStringLiteral(BREVLIN_BINARY);
}

// The mode bits of the file or folder itself (not of what a link points to); -1 when it is missing.
inline int permissionsOf(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

} // namespace TestSupport
