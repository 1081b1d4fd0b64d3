#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

// A change to the store or the preferences that a command of the command line asks the running
// program to make, since only the program that owns the store may write it.
struct StoreEdit
{
    enum class Kind { AddFeed, RemoveFeed, ImportOpml, SetPreference };

    Kind kind = Kind::AddFeed;
    QString argument; // the feed's URL, the URL or name to remove, the OPML file or the preference key
    QString value;    // the preference value
    std::optional<QString> name;
    std::optional<QString> login;
    std::optional<QString> password;
    bool recent = false;
    QByteArray document; // the OPML document, read by the asking process
};

// How an edit ended, as the asking command reports it: its exit code, what it prints on standard
// output and the lines it prints on standard error.
struct StoreEditReply
{
    int exitCode = 0;
    QString output;
    QStringList errorLines;
};

// The running program as other processes of the session reach it: it claims a well-known
// name, and another start of the program (or a script) asks it through that name to show its
// subscription window or to make an edit to its store.
class ProgramService : public QObject
{
    Q_OBJECT
public:
    using EditHandler = std::function<StoreEditReply(const StoreEdit &)>;

    using QObject::QObject;

    // Claims the name; false when another process holds it (the program already runs).
    virtual bool registerProgram() = 0;
    // Edits that arrive for the store at storePath go to the handler; others are refused, so a
    // program running on another store (another XDG_DATA_HOME) never applies them.
    void setEditHandler(const QString &storePath, EditHandler handler)
    {
        m_storePath = storePath;
        m_editHandler = std::move(handler);
    }

    // The asking side. Refused: the running program has no windows (it runs headless), and
    // errorString() says so; NoAnswer: nobody holds the name, or there is no bus.
    enum class ShowOutcome { Shown, Refused, NoAnswer };
    virtual ShowOutcome askToShowSubscriptions() = 0;
    // Nothing when no program answered; errorString() then says why.
    virtual std::optional<StoreEditReply> askToEdit(const QString &storePath, const StoreEdit &edit) = 0;
    QString errorString() const { return m_errorString; }

Q_SIGNALS:
    void showSubscriptionsRequested();

protected:
    StoreEditReply handleEdit(const QString &storePath, const StoreEdit &edit) const;
    void setErrorString(const QString &message) { m_errorString = message; }

private:
    QString m_storePath;
    EditHandler m_editHandler;
    QString m_errorString;
};
