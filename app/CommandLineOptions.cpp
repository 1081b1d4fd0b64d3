#include "app/CommandLineOptions.h"

#include <array>

namespace {

using Command = CommandLineOptions::Command;

// Each option: its command (or the command a modifier belongs to) and what follows it.
struct OptionRule
{
    QLatin1StringView option;
    Command command;
    bool isModifier;
    int values;           // how many arguments must follow
    bool optionalValue;   // one argument may follow, when it does not look like an option
    QLatin1StringView valueNames;
};

constexpr std::array optionRules = {
    OptionRule{QLatin1StringView("--help"), Command::Help, false, 0, false, {}},
    OptionRule{QLatin1StringView("--version"), Command::Version, false, 0, false, {}},
    OptionRule{QLatin1StringView("--add"), Command::Add, false, 1, false, QLatin1StringView("a URL")},
    OptionRule{QLatin1StringView("--remove"), Command::Remove, false, 1, false,
               QLatin1StringView("a feed's URL or name")},
    OptionRule{QLatin1StringView("--list"), Command::List, false, 0, false, {}},
    OptionRule{QLatin1StringView("--check-once"), Command::CheckOnce, false, 0, false, {}},
    OptionRule{QLatin1StringView("--dump-json"), Command::DumpJson, false, 0, false, {}},
    OptionRule{QLatin1StringView("--import-opml"), Command::ImportOpml, false, 1, false,
               QLatin1StringView("a FILE")},
    OptionRule{QLatin1StringView("--export-opml"), Command::ExportOpml, false, 0, true, {}},
    OptionRule{QLatin1StringView("--get"), Command::Get, false, 1, false, QLatin1StringView("a KEY")},
    OptionRule{QLatin1StringView("--set"), Command::Set, false, 2, false, QLatin1StringView("a KEY and a VALUE")},
    OptionRule{QLatin1StringView("--prefs"), Command::Prefs, false, 0, false, {}},
    OptionRule{QLatin1StringView("--headless"), Command::Headless, false, 0, false, {}},
    OptionRule{QLatin1StringView("--name"), Command::Add, true, 1, false, QLatin1StringView("a NAME")},
    OptionRule{QLatin1StringView("--login"), Command::Add, true, 1, false, QLatin1StringView("a LOGIN")},
    OptionRule{QLatin1StringView("--password"), Command::Add, true, 1, false, QLatin1StringView("a PASSWORD")},
    OptionRule{QLatin1StringView("--recent"), Command::Add, true, 0, false, {}},
    OptionRule{QLatin1StringView("--quiet-notifications"), Command::CheckOnce, true, 0, false, {}},
};

const OptionRule *findRule(QStringView option)
{
    for (const OptionRule &rule : optionRules) {
        if (option == rule.option) {
            return &rule;
        }
    }
    return nullptr;
}

bool modifierFits(const OptionRule &modifier, Command command)
{
    // Quiet notifications make as much sense for the long-running mode as for one check.
    if (modifier.command == Command::CheckOnce) {
        return command == Command::CheckOnce || command == Command::Headless;
    }
    return command == modifier.command;
}

void applyModifier(CommandLineOptions &options, QLatin1StringView option, const QString &value)
{
    if (option == QLatin1String("--name")) {
        options.name = value;
    } else if (option == QLatin1String("--login")) {
        options.login = value;
    } else if (option == QLatin1String("--password")) {
        options.password = value;
    } else if (option == QLatin1String("--recent")) {
        options.recent = true;
    } else {
        options.quietNotifications = true;
    }
}

class Parser
{
public:
    explicit Parser(const QStringList &arguments)
        : m_arguments(arguments)
    {
    }

    std::optional<CommandLineOptions> run(QString *errorString);

private:
    bool take(const OptionRule &rule, const QString &token, qsizetype equals, qsizetype &index, QStringList &values);
    bool fail(const QString &message)
    {
        m_error = message;
        return false;
    }

    const QStringList &m_arguments;
    QString m_error;
};

std::optional<CommandLineOptions> Parser::run(QString *errorString)
{
    if (m_arguments.contains(QLatin1String("--help")) || m_arguments.contains(QLatin1String("-h"))) {
        CommandLineOptions help;
        help.command = Command::Help;
        return help;
    }
    CommandLineOptions options;
    const OptionRule *command = nullptr;
    QList<const OptionRule *> modifiers;
    bool ok = true;
    for (qsizetype index = 0; ok && index < m_arguments.size(); ++index) {
        const QString &token = m_arguments.at(index);
        const qsizetype equals = token.startsWith(QLatin1String("--")) ? token.indexOf(QLatin1Char('=')) : -1;
        const OptionRule *rule = findRule(equals < 0 ? QStringView(token) : QStringView(token).left(equals));
        if (!rule) {
            ok = fail(token.startsWith(QLatin1Char('-'))
                          ? QStringLiteral("unknown option '%1' (see --help)").arg(token)
                          : QStringLiteral("unexpected argument '%1' (see --help)").arg(token));
            break;
        }
        QStringList values;
        ok = take(*rule, token, equals, index, values);
        if (!ok) {
            break;
        }
        if (rule->isModifier) {
            modifiers.append(rule);
            applyModifier(options, rule->option, values.value(0));
        } else if (command) {
            ok = fail(QStringLiteral("%1 and %2 cannot be combined").arg(command->option, rule->option));
        } else {
            command = rule;
            options.command = rule->command;
            options.argument = values.value(0);
            options.value = values.value(1);
        }
    }
    for (qsizetype i = 0; ok && i < modifiers.size(); ++i) {
        if (!command || !modifierFits(*modifiers.at(i), command->command)) {
            ok = fail(QStringLiteral("%1 goes only with %2")
                          .arg(modifiers.at(i)->option,
                               modifiers.at(i)->command == Command::Add ? QStringLiteral("--add")
                                                                         : QStringLiteral("--check-once or --headless")));
        }
    }
    if (!ok) {
        if (errorString) {
            *errorString = m_error;
        }
        return std::nullopt;
    }
    return options;
}

bool Parser::take(const OptionRule &rule, const QString &token, qsizetype equals, qsizetype &index,
                  QStringList &values)
{
    if (equals >= 0) {
        if (rule.values + int(rule.optionalValue) != 1) {
            return fail(QStringLiteral("%1 does not take '=' (see --help)").arg(rule.option));
        }
        values.append(token.mid(equals + 1));
        return true;
    }
    // Required values are taken whatever they look like: a password or a preference value may
    // well begin with a dash.
    for (int i = 0; i < rule.values; ++i) {
        if (index + 1 >= m_arguments.size()) {
            return fail(QStringLiteral("%1 needs %2").arg(rule.option, rule.valueNames));
        }
        values.append(m_arguments.at(++index));
    }
    if (rule.optionalValue && index + 1 < m_arguments.size()
        && (!m_arguments.at(index + 1).startsWith(QLatin1Char('-')) || m_arguments.at(index + 1) == QLatin1String("-"))) {
        values.append(m_arguments.at(++index));
    }
    return true;
}

} // namespace

std::optional<CommandLineOptions> CommandLineOptions::parse(const QStringList &arguments, QString *errorString)
{
    return Parser(arguments).run(errorString);
}

QString CommandLineOptions::usage()
{
    return QStringLiteral(
        "Usage: rss-brevlin [COMMAND]\n"
        "A tray feed watcher for RSS 2.0, RSS 1.0/RDF and Atom feeds.\n"
        "Without a command it starts the program. Every command works on the same store and\n"
        "preferences as the program ($XDG_DATA_HOME, $XDG_CACHE_HOME, $XDG_CONFIG_HOME) and exits.\n"
        "\n"
        "Commands:\n"
        "  --add URL [--name N] [--login L] [--password P] [--recent]\n"
        "                          subscribe to a feed (--recent: its entries head the menu)\n"
        "  --remove URL-or-NAME    unsubscribe, deleting the feed's entries\n"
        "  --list                  one line per feed: name, URL, connected, entries, error\n"
        "  --check-once [--quiet-notifications]\n"
        "                          check every feed once, store what is new, and exit\n"
        "  --dump-json             the whole store as JSON\n"
        "  --import-opml FILE      subscribe to every feed of an OPML file\n"
        "  --export-opml [FILE]    every feed as OPML 2.0, to FILE or standard output\n"
        "  --get KEY               print one preference\n"
        "  --set KEY VALUE         change one preference\n"
        "  --prefs                 every preference with its value\n"
        "  --headless              run without a tray icon until SIGTERM, SIGINT or SIGHUP\n"
        "  --help, --version\n"
        "\n"
        "Exit status: 0 on success, 1 when the command failed, 2 for a command line it cannot obey.\n");
}
