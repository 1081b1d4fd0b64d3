#include "platform/webengine/WebEngineArchiveJob.h"

#include <QAuthenticator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>

#include "platform/webengine/WebEngineArchiver.h"

namespace {
// A page that never finishes loading would hold one of the few loading places for good.
constexpr int loadTimeoutMs = 60 * 1000;
} // namespace

WebEngineArchiveJob::WebEngineArchiveJob(WebEngineArchiver *archiver, const QUrl &url, const QString &path)
    : m_archiver(archiver)
    , m_url(url)
    , m_path(path)
    , m_partPath(path + QStringLiteral(".part"))
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(loadTimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, [this] { finish(QStringLiteral("The page did not load in time")); });
}

WebEngineArchiveJob::~WebEngineArchiveJob()
{
    const bool wasRunning = isRunning();
    releasePage();
    if (wasRunning && m_archiver) {
        m_archiver->scheduleStart();
    }
}

void WebEngineArchiveJob::start(QWebEnginePage *page)
{
    m_page = page;
    page->setAudioMuted(true);
    connect(page, &QWebEnginePage::loadingChanged, this, &WebEngineArchiveJob::onLoadingChanged);
    connect(page, &QWebEnginePage::authenticationRequired, this, &WebEngineArchiveJob::onAuthenticationRequired);
    // A proxy's login belongs to the user's browser, not to a feed.
    connect(page, &QWebEnginePage::proxyAuthenticationRequired, this,
            [](const QUrl &, QAuthenticator *authenticator, const QString &) { *authenticator = QAuthenticator(); });
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this] { finish(QStringLiteral("The page's renderer ended")); });
    m_timeout.start();
    page->load(m_url);
}

bool WebEngineArchiveJob::ownsSave(const QWebEngineDownloadRequest *download) const
{
    if (!m_saving || !m_page || download->page() != m_page || !download->isSavePageDownload()) {
        return false;
    }
    const QString target = QDir(download->downloadDirectory()).filePath(download->downloadFileName());
    return QFileInfo(target).absoluteFilePath() == QFileInfo(m_partPath).absoluteFilePath();
}

void WebEngineArchiveJob::onSaveRequested(QWebEngineDownloadRequest *download)
{
    m_save = download;
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this,
            [this, download] { onSaveFinished(download); });
    if (download->state() == QWebEngineDownloadRequest::DownloadRequested) {
        download->accept();
    }
    onSaveFinished(download);
}

void WebEngineArchiveJob::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    if (m_saving) {
        return;
    }
    // Chromium reports an error status with a fragment of its error page's template as the
    // text, and may show that page as a loaded one; it is no copy of the entry's page.
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain && info.errorCode() >= 400) {
        finish(QStringLiteral("HTTP status %1").arg(info.errorCode()));
        return;
    }
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadFailedStatus:
        finish(info.errorString());
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        if (info.isErrorPage()) {
            finish(info.errorString());
            return;
        }
        m_saving = true;
        m_page->save(m_partPath, QWebEngineDownloadRequest::MimeHtmlSaveFormat);
        return;
    case QWebEngineLoadingInfo::LoadStartedStatus:
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        return;
    }
}

void WebEngineArchiveJob::onAuthenticationRequired(const QUrl &requestUrl, QAuthenticator *authenticator)
{
    // Chromium asks again only when the answer it was given was refused.
    if (m_answered) {
        ++m_rejectedAnswers;
    }
    Q_EMIT authenticationRequired(requestUrl, m_rejectedAnswers, authenticator);
    m_answered = !authenticator->user().isEmpty();
    if (!m_answered) {
        // A null authenticator is how Qt WebEngine cancels the challenge.
        *authenticator = QAuthenticator();
    }
}

void WebEngineArchiveJob::onSaveFinished(QWebEngineDownloadRequest *download)
{
    if (!download->isFinished()) {
        return;
    }
    if (download->state() != QWebEngineDownloadRequest::DownloadCompleted) {
        finish(download->interruptReasonString());
        return;
    }
    QString error;
    finish(commitArchive(&error) ? QString() : error);
}

bool WebEngineArchiveJob::commitArchive(QString *error) const
{
    // Pages can be fetched with a feed's login: only their owner may read them. The rename puts
    // the archive in place whole, so that opening the entry never finds a truncated page.
    QFile part(m_partPath);
    if (!part.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || !part.rename(m_path)) {
        *error = part.errorString();
        return false;
    }
    return true;
}

void WebEngineArchiveJob::finish(const QString &error)
{
    if (m_finished) {
        return;
    }
    m_finished = true;
    m_timeout.stop();
    const bool wasRunning = isRunning();
    releasePage();
    if (wasRunning && m_archiver) {
        m_archiver->scheduleStart();
    }
    if (error.isEmpty()) {
        Q_EMIT archived();
    } else {
        Q_EMIT failed(error, m_url.toString());
    }
}

void WebEngineArchiveJob::releasePage()
{
    if (m_save && !m_save->isFinished()) {
        m_save->cancel();
    }
    if (m_page) {
        m_page->disconnect(this);
        m_page->triggerAction(QWebEnginePage::Stop);
        // Possibly inside one of the page's own signals.
        m_page->deleteLater();
        m_page = nullptr;
    }
    if (!m_partPath.isEmpty()) {
        QFile::remove(m_partPath);
    }
}
