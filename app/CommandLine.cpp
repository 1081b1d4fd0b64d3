#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>
#include <optional>

#include "app/CheckOnceCommand.h"
#include "app/CommandResult.h"
#include "app/DesktopPlatform.h"
#include "app/DiscoverCommand.h"
#include "app/FeedCommands.h"
#include "app/MenuPrinter.h"
#include "app/OpmlCommands.h"
#include "app/PreferenceCommands.h"
#include "app/ProgramSession.h"
#include "app/Rss_Brevlin_AppDelegate.h"
#include "app/StoreAccess.h"
#include "app/StoreEditCommand.h"
#include "app/StoreJson.h"
#include "app/StoreOwnership.h"
#include "controller/RSSBrevlinController.h"
#include "model/MenuItem.h"
#include "platform/ProgramService.h"
#include "platform/StandardErrorAlerts.h"

namespace {

CommandResult dumpJson(Rss_Brevlin_AppDelegate *delegate, QTextStream &out)
{
    StoreAccess store(delegate);
    const std::optional<QList<RSSFeed *>> feeds = store.feeds();
    if (!feeds) {
        return store.result();
    }
    StoreJson::dump(*feeds, out);
    return CommandResult::success();
}

CommandResult printMenu(Rss_Brevlin_AppDelegate *delegate, QTextStream &out)
{
    // Feeds load without waking, as for --list: every feed shows the hyphen of a feed not yet
    // checked in this run, as the tray does at start.
    StoreAccess store(delegate);
    if (!store.feeds()) {
        return store.result();
    }
    StandardErrorAlerts alerts;
    RSSBrevlinController controller(store.context(), &alerts);
    MenuPrinter::print(*controller.feedsMenu(), out);
    return CommandResult::success();
}

// Takes the store's lock for a command that may write the store at any moment; gives the
// refusal when another process keeps it (whenHeld follows the sentence naming the store).
std::optional<CommandResult> refusalToLock(Rss_Brevlin_AppDelegate *delegate, const QString &whenHeld = QString())
{
    const std::unique_ptr<ProgramService> program(DesktopPlatform::createProgramService(nullptr));
    switch (StoreOwnership::takeOrFind(delegate, program.get())) {
    case StoreOwnership::Owner::ThisProcess:
        return std::nullopt;
    case StoreOwnership::Owner::RunningProgram:
    case StoreOwnership::Owner::UnreachableHolder:
        return CommandResult::failure(
            QStringLiteral("another RSS Brevlin runs on the store %1").arg(delegate->storeFilePath()) + whenHeld);
    case StoreOwnership::Owner::Failed:
        break;
    }
    return CommandResult::failure(delegate->lockErrorString());
}

CommandResult runHeadless(Rss_Brevlin_AppDelegate *delegate, Alerts *alerts)
{
    if (const std::optional<CommandResult> refusal = refusalToLock(delegate)) {
        return *refusal;
    }
    ProgramSession program(delegate, alerts, ProgramSession::Reporting::StandardError);
    // Without a bus the program still runs; edits from the command line are then refused.
    ProgramService *service = DesktopPlatform::createProgramService(&program);
    program.serve(service);
    service->registerProgram(delegate->storeFilePath());
    if (!program.start(nullptr, nullptr)) {
        return CommandResult::failure();
    }
    QObject::connect(&program, &ProgramSession::finished, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    return {program.exitCode(), QString(), {}};
}

CommandResult checkOnce(Rss_Brevlin_AppDelegate *delegate, QTextStream &out, const CommandLineOptions &options)
{
    if (const std::optional<CommandResult> refusal =
            refusalToLock(delegate, QStringLiteral(" (the program, or another check); try again when it ends"))) {
        return *refusal;
    }
    return CheckOnceCommand::run(delegate, out, {options.quietNotifications, options.printMenu});
}

} // namespace

CommandLine::CommandLine(const CommandLineOptions &options)
    : m_options(options)
{
}

int CommandLine::run()
{
    using Command = CommandLineOptions::Command;
    StandardErrorAlerts alerts;
    Rss_Brevlin_AppDelegate delegate(&alerts);
    // Only the long-running program and a check fetch; the other commands only read or edit.
    delegate.setChecksFeeds(m_options.command == Command::CheckOnce || m_options.command == Command::Headless);
    QTextStream out(stdout);
    CommandResult result;
    switch (m_options.command) {
    case Command::Help:
        out << CommandLineOptions::usage();
        break;
    case Command::Version:
        out << QStringLiteral("rss-brevlin " BREVLIN_VERSION "\n");
        break;
    case Command::Add:
    case Command::Edit:
    case Command::Remove:
    case Command::ImportOpml:
    case Command::Set:
        result = StoreEditCommand::run(&delegate, m_options, out);
        break;
    case Command::List:
        result = FeedCommands::list(&delegate, out);
        break;
    case Command::Discover:
        result = DiscoverCommand::run(m_options.argument, out);
        break;
    case Command::DumpJson:
        result = dumpJson(&delegate, out);
        break;
    case Command::ExportOpml:
        result = OpmlCommands::exportTo(&delegate, m_options.argument, out);
        break;
    case Command::Get:
        result = PreferenceCommands::get(m_options.argument, out);
        break;
    case Command::Prefs:
        result = PreferenceCommands::list(out);
        break;
    case Command::CheckOnce:
        result = checkOnce(&delegate, out, m_options);
        break;
    case Command::PrintMenu:
        result = printMenu(&delegate, out);
        break;
    // The tray program needs a GUI application object; main() starts it, not this.
    case Command::Run:
    case Command::Headless:
        result = runHeadless(&delegate, &alerts);
        break;
    }
    out.flush();
    for (const QString &warning : std::as_const(result.warnings)) {
        StandardErrorAlerts::printLine(warning);
    }
    if (!result.message.isEmpty()) {
        StandardErrorAlerts::printLine(result.message);
    }
    return result.exitCode;
}
