#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include "platform/Credentials.h"

// What the command line asks for, once read and checked.
struct CommandLineOptions
{
    enum class Command {
        Run, // no arguments: the program itself
        Help,
        Version,
        Add,
        Remove,
        List,
        CheckOnce,
        DumpJson,
        ImportOpml,
        ExportOpml,
        Get,
        Set,
        Prefs,
        Headless,
        PrintMenu,
        Discover,
        Edit,
    };

    Command command = Command::Run;
    // The command's own argument: a URL, a feed, a file or a preference key; empty when
    // an optional one was left out.
    QString argument;
    QString value; // --set's value
    std::optional<QString> name;
    Credentials credentials; // --login and --password
    // --password-stdin: the password is the first line of standard input, which, unlike the
    // arguments, no other user can read.
    bool passwordFromStandardInput = false;
    // --recent: with --add, present or not; with --edit, yes or no, or left as it is.
    std::optional<bool> recent;
    // --edit's --notify and --interval: left as they are when absent; an interval of
    // automaticInterval is "auto".
    std::optional<bool> notify;
    std::optional<qint64> interval;
    static constexpr qint64 automaticInterval = 0;
    bool quietNotifications = false;
    bool printMenu = false; // --print-menu, alone or after --check-once

    // Reads the arguments after the program name. Gives nothing for a command line that
    // cannot be obeyed; *errorString then says why in one line.
    static std::optional<CommandLineOptions> parse(const QStringList &arguments, QString *errorString);

    // The parts of the usage text, which --help and the manual page both show.
    struct HelpEntry
    {
        QString synopsis;    // the option as written, indented when it belongs to the one above
        QString description; // empty when the line above describes it
    };
    static QList<HelpEntry> helpEntries();
    static QString summary();      // what the program is, in a few words without a capital or full stop
    static QString about();        // one paragraph on how the commands share the program's files
    static QString exitStatuses(); // one sentence
    static QString usage();
};
