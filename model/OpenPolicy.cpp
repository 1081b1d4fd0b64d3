#include "model/OpenPolicy.h"

#include <QFileInfo>

#include "platform/BrevlinFolders.h"

namespace OpenPolicy {

bool isWebPage(const QUrl &url)
{
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        && !url.host().isEmpty();
}

bool isCachedPage(const QString &path)
{
    const QFileInfo file(path);
    if (!file.isFile()) {
        return false;
    }
    const QString cache = QFileInfo(BrevlinFolders::cachesFolder()).canonicalFilePath();
    return !cache.isEmpty() && QFileInfo(file.canonicalFilePath()).absolutePath() == cache;
}

} // namespace OpenPolicy
