#include "app/ManPage.h"

#include <QRegularExpression>

#include "app/CommandLineOptions.h"

namespace {

// A line of text beginning with a dot or an apostrophe would read as a request.
QString textLine(const QString &text)
{
    return text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('\''))
        ? QStringLiteral("\\&") + text + QLatin1Char('\n')
        : text + QLatin1Char('\n');
}

QString bold(const QString &option)
{
    return QStringLiteral("\\fB") + QString(option).replace(QLatin1Char('-'), QStringLiteral("\\-"))
        + QStringLiteral("\\fR");
}

// Options in bold and the values they take (URL, FILE, KEY ...) in italics.
QString synopsis(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("[A-Za-z0-9-]+"));
    QString formatted;
    qsizetype done = 0;
    for (const QRegularExpressionMatch &match : word.globalMatch(text)) {
        formatted += ManPage::escaped(text.mid(done, match.capturedStart() - done));
        const QString token = match.captured();
        if (token.startsWith(QLatin1Char('-'))) {
            formatted += bold(token);
        } else if (token.at(0).isUpper()) {
            formatted += QStringLiteral("\\fI") + token + QStringLiteral("\\fR");
        } else {
            formatted += token;
        }
        done = match.capturedEnd();
    }
    return formatted + ManPage::escaped(text.mid(done));
}

QString commands()
{
    QString roff;
    bool nested = false;
    for (const CommandLineOptions::HelpEntry &entry : CommandLineOptions::helpEntries()) {
        // An indented option belongs to the command above it.
        const bool belongsAbove = entry.synopsis.startsWith(QLatin1Char(' '));
        if (belongsAbove != nested) {
            roff += belongsAbove ? QStringLiteral(".RS\n") : QStringLiteral(".RE\n");
            nested = belongsAbove;
        }
        roff += QStringLiteral(".TP\n") + textLine(synopsis(entry.synopsis.trimmed()));
        if (!entry.description.isEmpty()) {
            roff += textLine(ManPage::escaped(entry.description));
        }
    }
    return nested ? roff + QStringLiteral(".RE\n") : roff;
}

QString file(const QString &path, const QString &description)
{
    return QStringLiteral(".TP\n") + textLine(QStringLiteral("\\fI") + ManPage::escaped(path) + QStringLiteral("\\fR"))
        + textLine(ManPage::escaped(description));
}

} // namespace

QString ManPage::escaped(const QString &text)
{
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--?[a-z][a-z-]*"));
    QString result;
    qsizetype done = 0;
    const QString plain = QString(text).replace(QLatin1Char('\\'), QStringLiteral("\\e"));
    for (const QRegularExpressionMatch &match : option.globalMatch(plain)) {
        result += plain.mid(done, match.capturedStart() - done) + bold(match.captured());
        done = match.capturedEnd();
    }
    return result + plain.mid(done);
}

QString ManPage::text(const QString &version)
{
    return QStringLiteral(".TH RSS-BREVLIN 1 \"\" \"RSS Brevlin %1\" \"User Commands\"\n").arg(version)
        + QStringLiteral(".SH NAME\nrss-brevlin \\- ") + escaped(CommandLineOptions::summary())
        + QStringLiteral("\n.SH SYNOPSIS\n.B rss-brevlin\n[\\fICOMMAND\\fR]\n.SH DESCRIPTION\n")
        + textLine(escaped(CommandLineOptions::about())) + QStringLiteral(".SH COMMANDS\n") + commands()
        + QStringLiteral(".SH EXIT STATUS\n") + textLine(escaped(CommandLineOptions::exitStatuses()))
        + QStringLiteral(".SH FILES\n")
        + file(QStringLiteral("$XDG_DATA_HOME/Rss_Brevlin/Rss_Brevlin.sql"),
               QStringLiteral("feeds and entries; $XDG_DATA_HOME is ~/.local/share when unset"))
        + file(QStringLiteral("$XDG_CACHE_HOME/Rss_Brevlin/"),
               QStringLiteral("cached copies of entry pages; $XDG_CACHE_HOME is ~/.cache when unset"))
        + file(QStringLiteral("$XDG_CONFIG_HOME/Rss_Brevlin/Rss_Brevlin.conf"),
               QStringLiteral("preferences; $XDG_CONFIG_HOME is ~/.config when unset"));
}
