#include "controller/LoginAutostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// Exec= quoting of the desktop entry specification: inside double quotes, the characters
// " ` $ and \ take a backslash; the whole value then escapes \ once more as a string.
QString quotedExecArgument(const QString &argument)
{
    QString quoted;
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    // A literal percent sign would read as a field code.
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString LoginAutostart::filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/rss-brevlin.desktop");
}

QByteArray LoginAutostart::desktopEntry(const QString &program)
{
    // Line breaks cannot appear in a value; a path holding one cannot be started from here.
    QString exec = quotedExecArgument(program);
    exec.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=RSS Brevlin\n"
                                         "Exec=%1\n"
                                         "Icon=rss-brevlin\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(exec);
    return entry.toUtf8();
}

bool LoginAutostart::isEnabled() const
{
    return QFileInfo::exists(filePath());
}

bool LoginAutostart::setEnabled(bool enabled)
{
    m_errorString.clear();
    const QString path = filePath();
    if (!enabled) {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            m_errorString = file.errorString();
            return false;
        }
        return true;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        m_errorString = QCoreApplication::translate("LoginAutostart", "Cannot create the folder %1")
                            .arg(QFileInfo(path).absolutePath());
        return false;
    }
    const QByteArray entry = desktopEntry(QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() || !file.commit()) {
        m_errorString = file.errorString();
        return false;
    }
    return true;
}
