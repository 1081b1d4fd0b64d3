#include <QApplication>
#include <QCoreApplication>

#include "app/CommandLine.h"
#include "app/widgets/TrayProgram.h"
#include "controller/RSSBrevlinController.h"
#include "platform/StandardErrorAlerts.h"

namespace {

void describeApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("rss-brevlin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BREVLIN_VERSION));
    RSSBrevlinController::initialize();
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
        return TrayProgram::run();
    }
    QCoreApplication application(argc, argv);
    describeApplication();
    return CommandLine(*options).run();
}
