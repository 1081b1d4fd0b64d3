#pragma once

#include <QString>

// The program's own folder, "Rss_Brevlin", below one of the user's folders (base), or below
// the temporary folder when base is empty because the user's folder is unknown.
QString brevlinFolder(const QString &base);

// The folder of cached entry pages, below the user's cache folder ($XDG_CACHE_HOME).
QString brevlinCachesFolder();
