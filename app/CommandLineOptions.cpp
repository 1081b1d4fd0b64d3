#include "app/CommandLineOptions.h"

#include <array>

#include "model/CheckInterval.h"

namespace {

using Command = CommandLineOptions::Command;

// Each option: its command (or the command a modifier belongs to), what follows it, and how
// the usage text shows it.
struct OptionRule
{
    QLatin1StringView option;
    Command command;
    bool isModifier;
    bool editsToo;      // a modifier of --add that --edit takes as well
    int values;         // how many arguments must follow
    bool optionalValue; // one argument may follow, when it does not look like an option
    QLatin1StringView valueNames;
    QLatin1StringView synopsis;    // the option as the usage text shows it; empty: not listed
    QLatin1StringView description; // empty for an option shown with another
};

constexpr OptionRule rule(const char *option, Command command, int values = 0, const char *valueNames = "",
                          const char *synopsis = "", const char *description = "")
{
    return {QLatin1StringView(option),
            command,
            false,
            false,
            values,
            false,
            QLatin1StringView(valueNames),
            QLatin1StringView(synopsis),
            QLatin1StringView(description)};
}

constexpr OptionRule modifier(const char *option, Command command, int values = 0, const char *valueNames = "",
                              const char *synopsis = "", const char *description = "")
{
    OptionRule modifierRule = rule(option, command, values, valueNames, synopsis, description);
    modifierRule.isModifier = true;
    return modifierRule;
}

constexpr OptionRule withOptionalValue(OptionRule rule)
{
    rule.optionalValue = true;
    return rule;
}

constexpr OptionRule alsoForEdit(OptionRule rule)
{
    rule.editsToo = true;
    return rule;
}

constexpr std::array optionRules = {
    rule("--add", Command::Add, 1, "a URL",
         "--add URL [--name N] [--login L] [--password P | --password-stdin] [--recent]",
         "subscribe to a feed (--recent: its entries head the menu)"),
    alsoForEdit(modifier("--password-stdin", Command::Add, 0, "", "  --password-stdin",
                         "take the password from the first line of standard input; use it rather than "
                         "--password, whose value every user of this computer can read in the process list")),
    rule("--remove", Command::Remove, 1, "a feed's URL or name", "--remove URL-or-NAME",
         "unsubscribe, deleting the feed's entries"),
    rule("--edit", Command::Edit, 1, "a feed's URL or name",
         "--edit URL-or-NAME [--name N] [--login L] [--password-stdin] [--notify yes|no] [--interval SECONDS|auto] "
         "[--recent yes|no]",
         "change a feed's name, login (an empty one clears the login and password) and password, whether its entries "
         "are announced, its check interval (30 to 604800 s, or auto: the global one, longer when the feed asks) and "
         "whether its entries head the menu"),
    rule("--discover", Command::Discover, 1, "a URL", "--discover URL",
         "the feeds a website offers: address, title, format (rss, rdf or atom)"),
    rule("--list", Command::List, 0, "", "--list", "one line per feed: name, URL, connected, entries, error"),
    rule("--check-once", Command::CheckOnce, 0, "", "--check-once [--quiet-notifications] [--print-menu]",
         "check every feed once, store what is new, and exit"),
    rule("--print-menu", Command::PrintMenu, 0, "", "--print-menu",
         "the status menu as the tray shows it (after the check with --check-once)"),
    rule("--dump-json", Command::DumpJson, 0, "", "--dump-json", "the whole store as JSON"),
    rule("--import-opml", Command::ImportOpml, 1, "a FILE", "--import-opml FILE",
         "subscribe to every feed of an OPML file"),
    withOptionalValue(rule("--export-opml", Command::ExportOpml, 0, "", "--export-opml [FILE]",
                           "every feed as OPML 2.0, to FILE or standard output")),
    rule("--get", Command::Get, 1, "a KEY", "--get KEY", "print one preference"),
    rule("--set", Command::Set, 2, "a KEY and a VALUE", "--set KEY VALUE", "change one preference"),
    rule("--prefs", Command::Prefs, 0, "", "--prefs", "every preference with its value"),
    rule("--headless", Command::Headless, 0, "", "--headless",
         "run without a tray icon until SIGTERM, SIGINT or SIGHUP"),
    rule("--help", Command::Help, 0, "", "--help, --version"),
    rule("--version", Command::Version),
    alsoForEdit(modifier("--name", Command::Add, 1, "a NAME")),
    alsoForEdit(modifier("--login", Command::Add, 1, "a LOGIN")),
    modifier("--password", Command::Add, 1, "a PASSWORD"),
    alsoForEdit(withOptionalValue(modifier("--recent", Command::Add))),
    modifier("--notify", Command::Edit, 1, "yes or no"),
    modifier("--interval", Command::Edit, 1, "a number of seconds or auto"),
    modifier("--quiet-notifications", Command::CheckOnce),
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
    return command == modifier.command || (modifier.editsToo && command == Command::Edit);
}

QString commandsOf(const OptionRule &modifier)
{
    if (modifier.command == Command::CheckOnce) {
        return QStringLiteral("--check-once or --headless");
    }
    if (modifier.editsToo) {
        return QStringLiteral("--add or --edit");
    }
    return modifier.command == Command::Add ? QStringLiteral("--add") : QStringLiteral("--edit");
}

std::optional<bool> yesOrNo(const QString &text)
{
    if (text == QLatin1String("yes")) {
        return true;
    }
    if (text == QLatin1String("no")) {
        return false;
    }
    return std::nullopt;
}

// --check-once --print-menu prints the menu after the check.
bool combinesWithPrintMenu(const OptionRule &first, const OptionRule &second)
{
    const auto is = [](const OptionRule &rule, Command command) { return rule.command == command && !rule.isModifier; };
    return (is(first, Command::CheckOnce) && is(second, Command::PrintMenu))
        || (is(first, Command::PrintMenu) && is(second, Command::CheckOnce));
}

// Takes a modifier's value, once the command is known; the reason in *error for a value it cannot take.
bool applyModifier(CommandLineOptions &options, QLatin1StringView option, const QStringList &values, QString *error)
{
    const QString value = values.value(0);
    const auto refuse = [&](const char *what) {
        *error = values.isEmpty() ? QStringLiteral("%1 needs %2").arg(option, QLatin1String(what))
                                  : QStringLiteral("%1 takes %2, not '%3'").arg(option, QLatin1String(what), value);
        return false;
    };
    if (option == QLatin1String("--name")) {
        options.name = value;
    } else if (option == QLatin1String("--login")) {
        options.credentials.login = value;
    } else if (option == QLatin1String("--password")) {
        options.credentials.password = value;
    } else if (option == QLatin1String("--password-stdin")) {
        options.passwordFromStandardInput = true;
    } else if (option == QLatin1String("--recent") && options.command == Command::Add) {
        if (!values.isEmpty()) {
            *error = QStringLiteral("--recent takes no value with --add ('%1')").arg(value);
            return false;
        }
        options.recent = true;
    } else if (option == QLatin1String("--recent") || option == QLatin1String("--notify")) {
        const std::optional<bool> choice = yesOrNo(value);
        if (!choice) {
            return refuse("yes or no");
        }
        (option == QLatin1String("--recent") ? options.recent : options.notify) = choice;
    } else if (option == QLatin1String("--interval")) {
        std::optional<qint64> seconds;
        if (!CheckInterval::fromText(value, &seconds)) {
            return refuse("a number of seconds from 30 to 604800, or auto");
        }
        options.interval = seconds.value_or(CommandLineOptions::automaticInterval);
    } else {
        options.quietNotifications = true;
    }
    return true;
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
    bool asksForHelp() const;
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
    if (asksForHelp()) {
        CommandLineOptions help;
        help.command = Command::Help;
        return help;
    }
    CommandLineOptions options;
    const OptionRule *command = nullptr;
    QList<std::pair<const OptionRule *, QStringList>> modifiers;
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
            modifiers.append({rule, values});
        } else if (command && combinesWithPrintMenu(*command, *rule)) {
            options.printMenu = true;
            if (rule->command == Command::CheckOnce) {
                command = rule;
                options.command = Command::CheckOnce;
            }
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
        const OptionRule &modifier = *modifiers.at(i).first;
        if (!command || !modifierFits(modifier, command->command)) {
            ok = fail(QStringLiteral("%1 goes only with %2").arg(modifier.option, commandsOf(modifier)));
        } else {
            ok = applyModifier(options, modifier.option, modifiers.at(i).second, &m_error);
        }
    }
    if (ok && options.command == Command::Edit && !options.name && !options.credentials.login
        && !options.passwordFromStandardInput && !options.notify && !options.interval && !options.recent) {
        ok = fail(
            QStringLiteral("--edit needs one of --name, --login, --password-stdin, --notify, --interval or --recent"));
    }
    // An empty login takes the password away with it.
    const std::optional<QString> &login = options.credentials.login;
    if (ok && options.command == Command::Edit && login && login->isEmpty() && options.passwordFromStandardInput) {
        ok = fail(QStringLiteral("an empty --login clears the password; --password-stdin cannot be combined with it"));
    }
    if (ok && options.credentials.password && options.passwordFromStandardInput) {
        ok = fail(QStringLiteral("--password and --password-stdin cannot be combined"));
    }
    if (!ok) {
        if (errorString) {
            *errorString = m_error;
        }
        return std::nullopt;
    }
    return options;
}

// Help wins wherever an option may stand, whatever else the line says; as the value of an
// option it is only that value (a password may well be "-h").
bool Parser::asksForHelp() const
{
    for (qsizetype index = 0; index < m_arguments.size(); ++index) {
        const QString &token = m_arguments.at(index);
        if (token == QLatin1String("--help") || token == QLatin1String("-h")) {
            return true;
        }
        if (const OptionRule *rule = findRule(token)) {
            index += rule->values;
        }
    }
    return false;
}

bool Parser::take(const OptionRule &rule, const QString &token, qsizetype equals, qsizetype &index, QStringList &values)
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
        && (!m_arguments.at(index + 1).startsWith(QLatin1Char('-'))
            || m_arguments.at(index + 1) == QLatin1String("-"))) {
        values.append(m_arguments.at(++index));
    }
    return true;
}

// Appends words to the text's last line, breaking lines to fit the width; each new line starts
// with indent spaces.
void appendWrapped(QString &text, const QString &words, qsizetype indent, qsizetype width)
{
    qsizetype lineStart = text.lastIndexOf(QLatin1Char('\n')) + 1;
    const QStringList list = words.split(QLatin1Char(' '));
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i > 0 && text.size() - lineStart + 1 + list.at(i).size() > width) {
            text += QLatin1Char('\n');
            lineStart = text.size();
            text += QString(indent, QLatin1Char(' '));
        } else if (i > 0) {
            text += QLatin1Char(' ');
        }
        text += list.at(i);
    }
}

} // namespace

std::optional<CommandLineOptions> CommandLineOptions::parse(const QStringList &arguments, QString *errorString)
{
    return Parser(arguments).run(errorString);
}

QList<CommandLineOptions::HelpEntry> CommandLineOptions::helpEntries()
{
    QList<HelpEntry> entries;
    for (const OptionRule &rule : optionRules) {
        if (!rule.synopsis.isEmpty()) {
            entries.append({rule.synopsis, rule.description});
        }
    }
    return entries;
}

QString CommandLineOptions::summary()
{
    return QStringLiteral("a tray feed watcher for RSS 2.0, RSS 1.0/RDF and Atom feeds");
}

QString CommandLineOptions::about()
{
    return QStringLiteral("Without a command it starts the program. Every command works on the same store and "
                          "preferences as the program ($XDG_DATA_HOME, $XDG_CACHE_HOME, $XDG_CONFIG_HOME) and "
                          "exits. While the program runs, it alone writes the store: --add, --edit, --remove, "
                          "--import-opml and --set are handed to it over the session bus, and --check-once is "
                          "refused until it ends.");
}

QString CommandLineOptions::exitStatuses()
{
    return QStringLiteral("0 on success, 1 when the command failed, 2 for a command line it cannot obey.");
}

QString CommandLineOptions::usage()
{
    // A synopsis longer than the column gets its description on the next line; synopses and
    // descriptions wrap to fit a terminal of 100 columns.
    constexpr qsizetype column = 26;
    constexpr qsizetype width = 100;
    QString sentence = summary();
    sentence[0] = sentence.at(0).toUpper();
    QString text = QStringLiteral("Usage: rss-brevlin [COMMAND]\n") + sentence + QStringLiteral(".\n");
    appendWrapped(text, about(), 0, width);
    text += QStringLiteral("\n\nCommands:\n");
    for (const HelpEntry &entry : helpEntries()) {
        QString line = QStringLiteral("  ");
        appendWrapped(line, entry.synopsis, 4, width);
        if (!entry.description.isEmpty()) {
            line = line.size() + 2 > column ? line + QLatin1Char('\n') + QString(column, QLatin1Char(' '))
                                            : line.leftJustified(column);
            appendWrapped(line, entry.description, column, width);
        }
        text += line + QLatin1Char('\n');
    }
    return text + QStringLiteral("\nExit status: ") + exitStatuses() + QLatin1Char('\n');
}
