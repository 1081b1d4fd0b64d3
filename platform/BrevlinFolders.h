#pragma once

#include <QStandardPaths>
#include <QString>

#include <functional>

// The program's own folders, "Rss_Brevlin" below the user's data and cache folders, computed
// afresh on every call so they follow the environment. Every part of the program that needs
// one asks here, so a test that moves them moves them for all.
namespace BrevlinFolders {

// Finds the user's folder of a kind; an empty result falls back to the temporary folder.
using DirectorySearch = std::function<QString(QStandardPaths::StandardLocation)>;

// Replaces how the user's folders are found; an empty search restores QStandardPaths.
void setDirectorySearch(DirectorySearch search);

// "Rss_Brevlin" below base, or below the temporary folder when base is empty because the
// user's folder is unknown.
QString brevlinFolder(const QString &base);
QString applicationSupportFolder();
QString cachesFolder();

} // namespace BrevlinFolders
