#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <memory>

#include "app/CommandLine.h"
#include "app/ProgramStart.h"
#include "platform/LazyWebArchiver.h"
#include "platform/PluginLibrary.h"
#include "platform/Preferences.h"
#include "platform/StandardErrorAlerts.h"
#include "platform/UserDefaults.h"

namespace {

// Headless, the page cache needs Qt Gui for Qt WebEngine, off screen as there is no window to
// show; without the cache the lighter core application does.
bool headlessArchivesPages(const CommandLineOptions &options)
{
    return options.command == CommandLineOptions::Command::Headless
        && UserDefaults::standardUserDefaults()->boolForKey(Preferences::enableTargetPageCache);
}

// The tray program, from its plugin: the commands and --headless run without Qt Widgets. The
// plugin makes the application, so the program's folder is read before there is one.
int runTrayProgram(int &argc, char **argv)
{
    using RunTrayProgram = int (*)(int &argc, char **argv);
    const QString programFolder = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).path();
    QString error;
    const auto run = reinterpret_cast<RunTrayProgram>(
        PluginLibrary::resolve(QStringLiteral("brevlin-tray.so"), "brevlinRunTrayProgram",
                               {programFolder, ProgramStart::installedPluginFolder(programFolder)}, &error));
    if (!run) {
        StandardErrorAlerts::printLine(QStringLiteral("The tray program cannot be loaded: %1").arg(error));
        return 1;
    }
    return run(argc, argv);
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    QString error;
    const std::optional<CommandLineOptions> options = CommandLineOptions::parse(arguments, &error);
    if (!options) {
        StandardErrorAlerts::printLine(error);
        return 2;
    }
    // Only the tray program needs a display; the commands and --headless run without one.
    if (options->command == CommandLineOptions::Command::Run) {
        return runTrayProgram(argc, argv);
    }
    std::unique_ptr<QCoreApplication> application;
    if (headlessArchivesPages(*options)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    ProgramStart::describeApplication();
    // Only the long-running headless program archives pages; a single check ends before they load.
    std::unique_ptr<LazyWebArchiver> archiver;
    if (options->command == CommandLineOptions::Command::Headless) {
        archiver = std::make_unique<LazyWebArchiver>(
            ProgramStart::installedPluginFolder(QCoreApplication::applicationDirPath()));
        WebArchiver::setShared(archiver.get());
    }
    return CommandLine(*options).run();
}
