#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QStringList>
#include <QVariantMap>

#include "platform/ProgramService.h"

class QDBusMessage;

// The program on the session bus under a name of its store's own (serviceNameFor), object
// "/RssBrevlin", with the methods ShowSubscriptions() and, for edits to the store at the path each
// names, AddFeed, RemoveFeed, ImportOpml and SetPreference, each answering the command's exit
// code, its standard output and its lines for standard error; a long edit emits EditProgress
// until it answers.
class DBusProgramService : public ProgramService, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.rssbrevlin.RssBrevlin")
public:
    static const QString objectPath;
    static const QString interfaceName;
    // Two programs on two stores of one session (two XDG_DATA_HOME) each have a name.
    static QString serviceNameFor(const QString &storePath);

    explicit DBusProgramService(QObject *parent = nullptr);
    // Asks over the given connection instead of the session bus's shared one.
    explicit DBusProgramService(const QDBusConnection &bus, QObject *parent = nullptr);
    ~DBusProgramService() override;

    bool registerProgram(const QString &storePath) override;
    void reportEditProgress(int done, int total) override;
    ShowOutcome askToShowSubscriptions(const QString &storePath) override;
    bool canReachPrograms() const override { return m_bus.isConnected(); }
    bool isOwnerReachable(const QString &storePath) override;
    EditAnswer askToEdit(const QString &storePath, const StoreEdit &edit) override;

public Q_SLOTS:
    // Answers an error when this program has no subscription window to show.
    Q_SCRIPTABLE void ShowSubscriptions();
    // options: "name", "login", "password" (strings), "recent" (boolean); each may be left out.
    Q_SCRIPTABLE int AddFeed(const QString &store, const QString &url, const QVariantMap &options, QString &output,
                             QStringList &errors);
    // options: "name", "login", "password" (strings; an empty login clears login and password),
    // "notify", "recent" (booleans), "interval" (seconds, 0 for "auto"); each may be left out, and
    // what is left out stays as it is.
    Q_SCRIPTABLE int EditFeed(const QString &store, const QString &urlOrName, const QVariantMap &options,
                              QString &output, QStringList &errors);
    Q_SCRIPTABLE int RemoveFeed(const QString &store, const QString &urlOrName, QString &output, QStringList &errors);
    // source: the file the document was read from, as the asking process names it in messages.
    Q_SCRIPTABLE int ImportOpml(const QString &store, const QString &source, const QByteArray &document,
                                QString &output, QStringList &errors);
    Q_SCRIPTABLE int SetPreference(const QString &store, const QString &key, const QString &value, QString &output,
                                   QStringList &errors);

private Q_SLOTS:
    void onEditProgress(int done, int total);

private:
    int answer(const QString &store, const StoreEdit &edit);
    // The unique bus name of the store's owner, once it is known to hold the store's lock.
    std::optional<QString> verifiedOwner(const QString &storePath);
    EditAnswer waitForAnswer(const QDBusMessage &call);

    QDBusConnection m_bus;
    QString m_serviceName;
    bool m_registered = false;
};
