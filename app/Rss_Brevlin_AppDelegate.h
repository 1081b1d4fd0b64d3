#pragma once

#include <QObject>

#include <functional>
#include <optional>

#include "platform/BrevlinFolders.h"

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

    QString managedObjectModel();
    ObjectContext *persistentStoreCoordinator();
    ObjectContext *managedObjectContext();
    bool hasStore() const;
    QUndoStack *windowWillReturnUndoManager();

    void saveAction();
    TerminateReply applicationShouldTerminate();

private:
    Alerts *m_alerts;
    bool m_movedFolders = false;
    std::optional<QString> m_managedObjectModel;
    ObjectContext *m_coordinator = nullptr;
    bool m_contextCreated = false;
};
