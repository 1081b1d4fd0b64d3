#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

#include "platform/BrevlinFolders.h"
#include "platform/StoreLock.h"

class Alerts;
class ObjectContext;
class QUndoStack;

// The application's delegate: computes the program's folders, builds the store lazily
// on first use, saves it on request and decides whether the program may quit.
class Rss_Brevlin_AppDelegate : public QObject
{
    Q_OBJECT
public:
    enum class TerminateReply { TerminateNow, TerminateCancel };

    explicit Rss_Brevlin_AppDelegate(Alerts *alerts, QObject *parent = nullptr);
    ~Rss_Brevlin_AppDelegate() override;

    // Moves the program's folders for every part of it while this delegate lives (tests).
    void setDirectorySearch(BrevlinFolders::DirectorySearch search);

    // Computed afresh on every call, so they follow the environment.
    QString applicationSupportFolder() const;
    QString cachesFolder() const;
    QString pdfFolder() const;
    QString storeFilePath() const;

    // Takes the store's lock for the rest of this delegate's life, making the store's folder
    // first; Failed: lockErrorString() says why.
    StoreLock::Outcome lockStore();
    QString lockErrorString() const { return m_lockErrorString; }
    // Whether feeds loaded from the store check themselves (see ObjectContext::setChecksFeeds);
    // set before the store is first used.
    void setChecksFeeds(bool checks) { m_checksFeeds = checks; }

    QString managedObjectModel();
    // The store: the one object context, opened on first use.
    ObjectContext *managedObjectContext();
    bool hasStore() const;
    QUndoStack *windowWillReturnUndoManager();

    void saveAction();
    TerminateReply applicationShouldTerminate();

private:
    bool prepareStoreFolder(QString *errorString) const;

    Alerts *m_alerts;
    std::unique_ptr<StoreLock> m_lock;
    QString m_lockErrorString;
    bool m_checksFeeds = true;
    bool m_movedFolders = false;
    std::optional<QString> m_managedObjectModel;
    ObjectContext *m_context = nullptr;
};
