#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

#include "platform/Credentials.h"

// A change to the store or the preferences that a command of the command line asks the running
// program to make, since only the program that owns the store may write it.
struct StoreEdit
{
    enum class Kind { AddFeed, RemoveFeed, ImportOpml, SetPreference, EditFeed };

    Kind kind = Kind::AddFeed;
    // The feed's URL, the URL or name of the feed to edit or remove, the OPML file or the preference key.
    QString argument;
    QString value; // the preference value
    std::optional<QString> name;
    Credentials credentials;
    // What an edit of a feed changes; an absent value stays as it is. An added feed heads the menu
    // only when recent is true.
    std::optional<bool> recent;
    std::optional<bool> notify;
    std::optional<qint64> interval; // seconds, or 0 for "auto"
    QByteArray document;            // the OPML document, read by the asking process
};

// How an edit ended, as the asking command reports it: its exit code, what it prints on standard
// output and the lines it prints on standard error.
struct StoreEditReply
{
    int exitCode = 0;
    QString output;
    QStringList errorLines;
};

// The running program as other processes of the session reach it: it claims a name of its
// store's own, and another start of the program (or a script) asks it through that name to show
// its subscription window or to make an edit to its store. The asking side talks only to the
// process that holds the store's lock, and sends nothing to any other.
class ProgramService : public QObject
{
    Q_OBJECT
public:
    // Answers one edit, exactly once: at once, or later for an edit that takes a while.
    using EditReply = std::function<void(const StoreEditReply &)>;
    using EditHandler = std::function<void(const StoreEdit &, const EditReply &)>;

    using QObject::QObject;

    // Claims the name of the store at storePath; false when another process holds it.
    virtual bool registerProgram(const QString &storePath) = 0;
    // Edits that arrive for the store at storePath go to the handler; others are refused, so a
    // program running on another store (another XDG_DATA_HOME) never applies them.
    void setEditHandler(const QString &storePath, EditHandler handler)
    {
        m_storePath = storePath;
        m_editHandler = std::move(handler);
    }
    // Tells the process that asked for a long edit how far it has come, which keeps it waiting.
    virtual void reportEditProgress(int done, int total) = 0;

    // The asking side. Refused: the running program has no windows (it runs headless), and
    // errorString() says so; NoAnswer: no owner of the store answers, or there is no bus.
    enum class ShowOutcome { Shown, Refused, NoAnswer };
    virtual ShowOutcome askToShowSubscriptions(const QString &storePath) = 0;
    // Whether running programs can be asked at all (without a session bus, none can).
    virtual bool canReachPrograms() const = 0;
    // Whether the process holding the store's lock answers for it; errorString() says why not.
    virtual bool isOwnerReachable(const QString &storePath) = 0;

    struct EditAnswer
    {
        // NotApplied: the edit reached no owner of the store, or it refused the call, so
        // nothing changed; Unknown: the owner took the edit but its answer never came, so it may
        // have been made. errorString() says why in both cases.
        enum class Status { Answered, NotApplied, Unknown };
        Status status = Status::NotApplied;
        StoreEditReply reply;
    };
    // Waits for as long as the owner reports progress; editProgressed() carries it meanwhile.
    virtual EditAnswer askToEdit(const QString &storePath, const StoreEdit &edit) = 0;
    QString errorString() const { return m_errorString; }

Q_SIGNALS:
    void showSubscriptionsRequested();
    void editProgressed(int done, int total);

protected:
    void handleEdit(const QString &storePath, const StoreEdit &edit, const EditReply &reply) const;
    void setErrorString(const QString &message) { m_errorString = message; }

private:
    QString m_storePath;
    EditHandler m_editHandler;
    QString m_errorString;
};
