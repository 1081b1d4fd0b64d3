#include "platform/BrevlinFolders.h"

#include <QDir>

namespace {

BrevlinFolders::DirectorySearch &directorySearch()
{
    static BrevlinFolders::DirectorySearch search;
    return search;
}

QString userFolder(QStandardPaths::StandardLocation location)
{
    const BrevlinFolders::DirectorySearch &search = directorySearch();
    return search ? search(location) : QStandardPaths::writableLocation(location);
}

} // namespace

namespace BrevlinFolders {

void setDirectorySearch(DirectorySearch search)
{
    directorySearch() = std::move(search);
}

QString brevlinFolder(const QString &base)
{
    return QDir(base.isEmpty() ? QDir::tempPath() : base).filePath(QStringLiteral("Rss_Brevlin"));
}

QString applicationSupportFolder()
{
    return brevlinFolder(userFolder(QStandardPaths::GenericDataLocation));
}

QString cachesFolder()
{
    return brevlinFolder(userFolder(QStandardPaths::GenericCacheLocation));
}

} // namespace BrevlinFolders
