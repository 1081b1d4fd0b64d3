#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>

#include <memory>

#include "app/CommandLine.h"
#include "app/DesktopPlatform.h"
#include "app/widgets/TrayProgram.h"
#include "controller/RSSBrevlinController.h"
#include "model/FeedPasswords.h"
#include "platform/LazyWebArchiver.h"
#include "platform/Preferences.h"
#include "platform/StandardErrorAlerts.h"
#include "platform/UserDefaults.h"

namespace {

void describeApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("rss-brevlin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BREVLIN_VERSION));
    RSSBrevlinController::initialize();
    // Asked only when a feed with a login is fetched or its password edited.
    FeedPasswords::instance()->setKeyring(DesktopPlatform::createPasswordStore(QCoreApplication::instance()));
}

// Headless, the page cache needs Qt Gui for Qt WebEngine, off screen as there is no window to
// show; without the cache the lighter core application does.
bool headlessArchivesPages(const CommandLineOptions &options)
{
    return options.command == CommandLineOptions::Command::Headless
        && UserDefaults::standardUserDefaults()->boolForKey(Preferences::enableTargetPageCache);
}

// Where `make install` puts the page cache's plugin, relative to the program.
QString installedPluginFolder()
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral(BREVLIN_PLUGIN_DIR));
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
        QApplication application(argc, argv);
        describeApplication();
        // Declared after the application: Qt WebEngine must shut down while it still exists.
        LazyWebArchiver archiver(installedPluginFolder());
        WebArchiver::setShared(&archiver);
        return TrayProgram::run();
    }
    std::unique_ptr<QCoreApplication> application;
    if (headlessArchivesPages(*options)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    describeApplication();
    // Only the long-running headless program archives pages; a single check ends before they load.
    std::unique_ptr<LazyWebArchiver> archiver;
    if (options->command == CommandLineOptions::Command::Headless) {
        archiver = std::make_unique<LazyWebArchiver>(installedPluginFolder());
        WebArchiver::setShared(archiver.get());
    }
    return CommandLine(*options).run();
}
