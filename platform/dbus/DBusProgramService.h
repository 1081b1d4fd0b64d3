#pragma once

#include <QDBusContext>
#include <QStringList>
#include <QVariantMap>

#include "platform/ProgramService.h"

// The program on the session bus as "org.rssbrevlin.RssBrevlin", object "/RssBrevlin", with the
// methods ShowSubscriptions() and, for edits to the store at the path each names, AddFeed,
// RemoveFeed, ImportOpml and SetPreference, each answering the command's exit code, its
// standard output and its lines for standard error.
class DBusProgramService : public ProgramService, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.rssbrevlin.RssBrevlin")
public:
    static const QString serviceName;
    static const QString objectPath;
    static const QString interfaceName;

    using ProgramService::ProgramService;
    ~DBusProgramService() override;

    bool registerProgram() override;
    ShowOutcome askToShowSubscriptions() override;
    std::optional<StoreEditReply> askToEdit(const QString &storePath, const StoreEdit &edit) override;

public Q_SLOTS:
    // Answers an error when this program has no subscription window to show.
    Q_SCRIPTABLE void ShowSubscriptions();
    // options: "name", "login", "password" (strings), "recent" (boolean); each may be left out.
    Q_SCRIPTABLE int AddFeed(const QString &store, const QString &url, const QVariantMap &options, QString &output,
                             QStringList &errors);
    Q_SCRIPTABLE int RemoveFeed(const QString &store, const QString &urlOrName, QString &output, QStringList &errors);
    // source: the file the document was read from, as the asking process names it in messages.
    Q_SCRIPTABLE int ImportOpml(const QString &store, const QString &source, const QByteArray &document,
                                QString &output, QStringList &errors);
    Q_SCRIPTABLE int SetPreference(const QString &store, const QString &key, const QString &value, QString &output,
                                   QStringList &errors);

private:
    int answer(const QString &store, const StoreEdit &edit, QString &output, QStringList &errors) const;

    bool m_registered = false;
};
