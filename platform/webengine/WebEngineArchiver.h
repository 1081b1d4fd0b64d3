#pragma once

#include <QList>
#include <QPointer>

#include <memory>

#include "platform/WebArchiver.h"

class QWebEngineDownloadRequest;
class QWebEngineProfile;
class WebEngineArchiveJob;

// The web archiver over Qt WebEngine. Nothing of the browser engine starts until the first page
// is asked for; pages load in a private, off-the-record profile, at most two at a time, and each
// page is closed once it has been saved or has failed.
class WebEngineArchiver : public WebArchiver
{
    Q_OBJECT
public:
    static constexpr int maximumRunning = 2;

    explicit WebEngineArchiver(QObject *parent = nullptr);
    ~WebEngineArchiver() override;

    std::unique_ptr<WebArchiveJob> archive(const QUrl &url, const QString &path) override;

    // Whether the browser engine was started in this process.
    bool isEngineStarted() const { return m_profile; }
    int runningCount() const;

    // A job is waiting or a place came free: starts what may start, from the event loop.
    void scheduleStart();

private:
    void startWaiting();
    void ensureEngine();
    void onDownloadRequested(QWebEngineDownloadRequest *download);

    QWebEngineProfile *m_profile = nullptr;
    QList<QPointer<WebEngineArchiveJob>> m_waiting;
    QList<QPointer<WebEngineArchiveJob>> m_running;
    bool m_startScheduled = false;
};
