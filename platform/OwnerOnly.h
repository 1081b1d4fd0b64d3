#pragma once

#include <QString>

// The store holds feed passwords: its file and folder are kept out of reach of other users.
namespace OwnerOnly {

// Takes group and other permissions away from the file or folder at path when it is ours (owned
// by this user) and looser than owner-only. A symbolic link is left alone, and so is what it
// points to: someone else set it up, and a change of mode must not travel to its target.
// False, with the reason in *errorString, only when a change was due and failed.
bool restrict(const QString &path, QString *errorString = nullptr);

// Creates the folder and any missing parent, each new one owner-only. On failure *errorString
// names the folder that could not be made and the reason ("Permission denied").
bool makeFolder(const QString &path, QString *errorString);

} // namespace OwnerOnly
