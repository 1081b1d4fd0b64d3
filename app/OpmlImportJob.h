#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>

#include "app/CommandResult.h"
#include "model/OpmlTransfer.h"
#include "platform/ProgramService.h"

class Rss_Brevlin_AppDelegate;
class StoreAccess;

// An OPML import that another process asked the running program for, spread over turns of the
// event loop a slice at a time, so that through a long list the program keeps its menu, its
// checks and the session bus going. Its feeds are first checked at the program's next round of
// checks. Reports how far it came now and then, and ends with the
// answer the asking command prints, saved before it is given.
class OpmlImportJob : public QObject
{
    Q_OBJECT
public:
    OpmlImportJob(Rss_Brevlin_AppDelegate *delegate, const StoreEdit &edit, QObject *parent = nullptr);
    ~OpmlImportJob() override;

    void start();
    // Imports the rest at once and answers (the program is quitting).
    void finishNow();

Q_SIGNALS:
    void progressed(int done, int total);
    // Emitted once.
    void finished(const StoreEditReply &reply);

private:
    void importSlice();
    void subscribeWithoutChecks(const std::function<void()> &subscribe);
    void finish(const CommandResult &result, const QString &output = QString());

    Rss_Brevlin_AppDelegate *m_delegate;
    StoreEdit m_edit;
    std::unique_ptr<StoreAccess> m_store;
    std::unique_ptr<OpmlTransfer::Importer> m_importer;
    QElapsedTimer m_sinceProgress;
    QElapsedTimer m_sinceSlice;
    bool m_finished = false;
};
