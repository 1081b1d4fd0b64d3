#include <QApplication>

#include "app/ProgramStart.h"
#include "app/widgets/TrayProgram.h"
#include "platform/LazyWebArchiver.h"

// The one entry point of the tray program's plugin, looked up by name once the program has loaded
// it: Qt Widgets, which only the tray program uses, comes into the process with the plugin.
extern "C" Q_DECL_EXPORT int brevlinRunTrayProgram(int &argc, char **argv)
{
    QApplication application(argc, argv);
    ProgramStart::describeApplication();
    // Declared after the application: Qt WebEngine must shut down while it still exists.
    LazyWebArchiver archiver(ProgramStart::installedPluginFolder(QCoreApplication::applicationDirPath()));
    WebArchiver::setShared(&archiver);
    return TrayProgram::run();
}
