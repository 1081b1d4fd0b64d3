#include <QCoreApplication>

#include "app/CommandLine.h"
#include "controller/RSSBrevlinController.h"
#include "platform/StandardErrorAlerts.h"

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rss-brevlin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BREVLIN_VERSION));
    RSSBrevlinController::initialize();

    QString error;
    const std::optional<CommandLineOptions> options =
        CommandLineOptions::parse(QCoreApplication::arguments().mid(1), &error);
    if (!options) {
        StandardErrorAlerts::printLine(error);
        return 2;
    }
    return CommandLine(*options).run();
}
