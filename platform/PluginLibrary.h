#pragma once

#include <QFunctionPointer>
#include <QString>
#include <QStringList>

// The program's heavy parts (the browser engine, the widgets of the tray program) live in plugins,
// so that a process that never needs them never loads their libraries. A plugin takes the rest of
// the program from the executable that loads it, and stays loaded until the process ends.
namespace PluginLibrary {

// Loads fileName from the first of folders that holds a loadable one and returns its function
// called functionName; null when none does, with the reasons in *error.
QFunctionPointer resolve(const QString &fileName, const char *functionName, const QStringList &folders, QString *error);

} // namespace PluginLibrary
