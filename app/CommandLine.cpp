#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include "app/CheckOnceCommand.h"
#include "app/CommandResult.h"
#include "app/DiscoverCommand.h"
#include "app/FeedCommands.h"
#include "app/MenuPrinter.h"
#include "app/OpmlCommands.h"
#include "app/PreferenceCommands.h"
#include "app/ProgramSession.h"
#include "app/Rss_Brevlin_AppDelegate.h"
#include "app/StoreAccess.h"
#include "app/StoreJson.h"
#include "controller/RSSBrevlinController.h"
#include "model/MenuItem.h"
#include "platform/StandardErrorAlerts.h"

namespace {

CommandResult dumpJson(Rss_Brevlin_AppDelegate *delegate, QTextStream &out)
{
    StoreAccess store(delegate);
    const std::optional<QList<RSSFeed *>> feeds = store.feeds();
    if (!feeds) {
        return store.result();
    }
    out << QString::fromUtf8(StoreJson::dump(*feeds));
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
    out << MenuPrinter::print(*controller.feedsMenu());
    return CommandResult::success();
}

CommandResult runHeadless(Rss_Brevlin_AppDelegate *delegate, Alerts *alerts)
{
    ProgramSession program(delegate, alerts, ProgramSession::Reporting::StandardError);
    if (!program.start(nullptr, nullptr)) {
        return CommandResult::failure();
    }
    QObject::connect(&program, &ProgramSession::finished, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    return {program.exitCode(), QString()};
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
        result = FeedCommands::add(&delegate, m_options);
        break;
    case Command::Remove:
        result = FeedCommands::remove(&delegate, m_options.argument);
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
    case Command::ImportOpml:
        result = OpmlCommands::import(&delegate, m_options.argument, out);
        break;
    case Command::ExportOpml:
        result = OpmlCommands::exportTo(&delegate, m_options.argument, out);
        break;
    case Command::Get:
        result = PreferenceCommands::get(m_options.argument, out);
        break;
    case Command::Set:
        result = PreferenceCommands::set(m_options.argument, m_options.value);
        break;
    case Command::Prefs:
        result = PreferenceCommands::list(out);
        break;
    case Command::CheckOnce:
        result = CheckOnceCommand::run(&delegate, out, {m_options.quietNotifications, m_options.printMenu});
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
    if (!result.message.isEmpty()) {
        StandardErrorAlerts::printLine(result.message);
    }
    return result.exitCode;
}
