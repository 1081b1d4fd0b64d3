#include "platform/BrevlinFolders.h"

#include <QDir>
#include <QStandardPaths>

QString brevlinFolder(const QString &base)
{
    return QDir(base.isEmpty() ? QDir::tempPath() : base).filePath(QStringLiteral("Rss_Brevlin"));
}

QString brevlinCachesFolder()
{
    return brevlinFolder(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
}
