#include "platform/webengine/WebEngineArchiver.h"

#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include "platform/webengine/WebEngineArchiveJob.h"

WebEngineArchiver::WebEngineArchiver(QObject *parent)
    : WebArchiver(parent)
{
}

WebEngineArchiver::~WebEngineArchiver()
{
    // Chromium wants every page of a profile gone before the profile itself.
    qDeleteAll(findChildren<QWebEnginePage *>(Qt::FindDirectChildrenOnly));
    delete m_profile;
}

std::unique_ptr<WebArchiveJob> WebEngineArchiver::archive(const QUrl &url, const QString &path)
{
    auto job = std::make_unique<WebEngineArchiveJob>(this, url, path);
    m_waiting.append(job.get());
    scheduleStart();
    return job;
}

int WebEngineArchiver::runningCount() const
{
    return int(std::count_if(m_running.cbegin(), m_running.cend(),
                             [](const QPointer<WebEngineArchiveJob> &job) { return job && job->isRunning(); }));
}

void WebEngineArchiver::scheduleStart()
{
    // Deferred: a job ends inside its page's signals, and a new job is not yet connected to.
    if (m_startScheduled) {
        return;
    }
    m_startScheduled = true;
    QMetaObject::invokeMethod(this, &WebEngineArchiver::startWaiting, Qt::QueuedConnection);
}

void WebEngineArchiver::startWaiting()
{
    m_startScheduled = false;
    m_running.removeIf([](const QPointer<WebEngineArchiveJob> &job) { return !job || !job->isRunning(); });
    while (m_running.size() < maximumRunning && !m_waiting.isEmpty()) {
        const QPointer<WebEngineArchiveJob> job = m_waiting.takeFirst();
        if (!job) {
            continue;
        }
        ensureEngine();
        job->start(new QWebEnginePage(m_profile, this));
        m_running.append(job);
    }
}

void WebEngineArchiver::ensureEngine()
{
    if (m_profile) {
        return;
    }
    // Without a storage name the profile is off the record: nothing of the pages stays on disk,
    // and it is not the default profile, whose saves land in the user's Downloads folder.
    m_profile = new QWebEngineProfile(this);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    connect(m_profile, &QWebEngineProfile::downloadRequested, this, &WebEngineArchiver::onDownloadRequested);
}

void WebEngineArchiver::onDownloadRequested(QWebEngineDownloadRequest *download)
{
    for (const QPointer<WebEngineArchiveJob> &job : std::as_const(m_running)) {
        if (job && job->ownsSave(download)) {
            job->onSaveRequested(download);
            return;
        }
    }
    // Only the saves this archiver asked for are accepted; a page cannot download anything.
    download->cancel();
}
