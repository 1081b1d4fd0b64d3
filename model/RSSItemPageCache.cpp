#include "model/RSSItem.h"

#include <QFile>
#include <QFileInfo>

#include "platform/BrevlinFolders.h"

namespace {

// cachedPath comes from the store file, so it is checked before anything is deleted: only an
// entry directly inside our caches folder is ours. A symbolic link there is removed itself,
// never what it points to; a folder is left to the start-up sweep.
bool isOurCacheFile(const QFileInfo &file)
{
    const QString folder = QFileInfo(BrevlinFolders::cachesFolder()).canonicalFilePath();
    if (folder.isEmpty() || QFileInfo(file.absolutePath()).canonicalFilePath() != folder) {
        return false;
    }
    return file.isSymLink() || !file.isDir();
}

} // namespace

void RSSItem::removePageCache()
{
    if (!m_cachedPath) {
        return;
    }
    const QString path = *m_cachedPath;
    setCachedPath(std::nullopt);
    const QFileInfo file(path);
    if (isOurCacheFile(file)) {
        QFile::remove(path);
    }
}
