#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include "platform/ProgramService.h"

class Alerts;
class FeedCheckRound;
class OpmlImportJob;
class RSSBrevlinController;
class RSSFeed;
class Rss_Brevlin_AppDelegate;
class SavePolicy;
class StatusItem;
class UnixSignalWatcher;
class WindowPresenter;

// The long-running program, with its tray icon or without (headless): the controller started
// over the store, every check followed and the store saved when its save policy says so, and
// an orderly quit, saving, on the Quit item or on SIGTERM, SIGINT and SIGHUP.
// Headless, it writes one line to standard error per check and per failing feed.
class ProgramSession : public QObject
{
    Q_OBJECT
public:
    enum class Reporting { Silent, StandardError };

    ProgramSession(Rss_Brevlin_AppDelegate *delegate, Alerts *alerts, Reporting reporting, QObject *parent = nullptr);
    ~ProgramSession() override;

    RSSBrevlinController *controller() const { return m_controller; }
    SavePolicy *savePolicy() const { return m_savePolicy; }
    // Starts the controller with the given views (either may be null); false when the store
    // cannot be used, in which case the controller still runs over no feeds.
    bool start(StatusItem *statusItem, WindowPresenter *windows);
    // Other processes' edits to the store, arriving through the service, are applied here as
    // their commands apply them and saved at once: this program owns the store. An import goes
    // a slice at a time, so that the program stays responsive through a long list.
    void serve(ProgramService *service);
    // The process's exit code once finished() was emitted.
    int exitCode() const { return m_exitCode; }

Q_SIGNALS:
    void finished();

private:
    void importInSlices(ProgramService *service, const StoreEdit &edit, const ProgramService::EditReply &reply);
    void onFeedsChecked(const QList<RSSFeed *> &feeds);
    void onFeedChecked(RSSFeed *feed);
    void onRoundFinished();
    void quit(int signalNumber);
    void report(const QString &line) const;

    Rss_Brevlin_AppDelegate *m_delegate;
    Reporting m_reporting;
    RSSBrevlinController *m_controller;
    SavePolicy *m_savePolicy;
    UnixSignalWatcher *m_signalWatcher;
    QPointer<FeedCheckRound> m_round;
    QList<OpmlImportJob *> m_imports;
    int m_exitCode = 0;
};
