#include "controller/RSSBrevlinController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/OwnerOnly.h"

void RSSBrevlinController::removeUnreferencedCaches()
{
    if (m_cachesFolder.isEmpty()) {
        return;
    }
    // Older versions left the folder and its pages readable by everyone.
    OwnerOnly::restrict(m_cachesFolder);
    const QSet<QString> referenced = allCachedIDs();
    const QString storeFileName = QFileInfo(m_storeFile).fileName();
    const QDir folder(m_cachesFolder);
    const QFileInfoList entries =
        folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (referenced.contains(name)) {
            OwnerOnly::restrict(entry.filePath());
            continue;
        }
        // When the caches folder falls back to the same place as the store, the store file,
        // SQLite's journals and the store's lock file beside it are not caches.
        if (!storeFileName.isEmpty() && name.startsWith(storeFileName)
            && QFileInfo(m_storeFile).absolutePath() == entry.absolutePath()) {
            continue;
        }
        // A symbolic link is removed itself, never what it points to.
        if (entry.isDir() && !entry.isSymLink()) {
            QDir(entry.filePath()).removeRecursively();
        } else {
            QFile::remove(entry.filePath());
        }
    }
}
