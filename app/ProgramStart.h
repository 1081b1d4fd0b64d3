#pragma once

#include <QString>

// What every start of the program does once its application exists, whichever kind it is: the
// tray program's, in its plugin, or a command's.
namespace ProgramStart {

// Names the application and makes the services every process shares.
void describeApplication();
// Where `make install` puts the program's plugins, relative to the folder of the program.
QString installedPluginFolder(const QString &programFolder);

} // namespace ProgramStart
