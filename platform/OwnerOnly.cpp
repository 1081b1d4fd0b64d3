#include "platform/OwnerOnly.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

namespace OwnerOnly {

bool restrict(const QString &path, QString *errorString)
{
    // Opened without following a link and changed through the descriptor, so what is checked
    // is what is changed even if the path is swapped in between.
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return true;
    }
    struct stat status;
    bool ok = true;
    if (::fstat(fd, &status) == 0 && status.st_uid == ::geteuid() && (status.st_mode & 077) != 0
        && (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))) {
        if (::fchmod(fd, status.st_mode & 0700) != 0) {
            ok = false;
            if (errorString) {
                *errorString = systemError(errno);
            }
        }
    }
    ::close(fd);
    return ok;
}

bool makeFolder(const QString &path, QString *errorString)
{
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    QStringList missing;
    QString existing = absolute;
    while (!QFileInfo::exists(existing) && existing != QDir::rootPath()) {
        missing.prepend(existing);
        existing = QFileInfo(existing).path();
    }
    for (const QString &folder : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
            *errorString = QCoreApplication::translate("OwnerOnly", "The folder \"%1\" cannot be created: %2")
                               .arg(folder, systemError(errno));
            return false;
        }
    }
    if (!QFileInfo(absolute).isDir()) {
        *errorString = QCoreApplication::translate("OwnerOnly", "\"%1\" is not a folder.").arg(absolute);
        return false;
    }
    return true;
}

} // namespace OwnerOnly
