#pragma once

#include <QObject>
#include <QStandardPaths>

#include <functional>
#include <optional>

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
    // Finds the user's folder of a kind; an empty result falls back to the temporary folder.
    using DirectorySearch = std::function<QString(QStandardPaths::StandardLocation)>;

    explicit Rss_Brevlin_AppDelegate(Alerts *alerts, QObject *parent = nullptr);
    ~Rss_Brevlin_AppDelegate() override;

    void setDirectorySearch(DirectorySearch search) { m_directorySearch = std::move(search); }

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
    QString folder(QStandardPaths::StandardLocation location) const;

    Alerts *m_alerts;
    DirectorySearch m_directorySearch;
    std::optional<QString> m_managedObjectModel;
    ObjectContext *m_coordinator = nullptr;
    bool m_contextCreated = false;
};
