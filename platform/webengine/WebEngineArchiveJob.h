#pragma once

#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>

#include "platform/WebArchiveJob.h"

class QAuthenticator;
class QWebEngineLoadingInfo;
class WebEngineArchiver;

// One page archived by Qt WebEngine: loaded in an off-screen page of the archiver's profile,
// saved as MHTML beside where it was asked for under a ".part" name, then renamed into place.
// A process killed meanwhile leaves the part in the caches folder, whose start-up sweep
// removes it, rather than a folder of its own in the temporary folder.
class WebEngineArchiveJob : public WebArchiveJob
{
    Q_OBJECT
public:
    WebEngineArchiveJob(WebEngineArchiver *archiver, const QUrl &url, const QString &path);
    ~WebEngineArchiveJob() override;

    // Loads the page in a new page of the archiver's profile.
    void start(QWebEnginePage *page);
    bool isRunning() const { return m_page; }
    // Whether download is the save this job asked for.
    bool ownsSave(const QWebEngineDownloadRequest *download) const;
    void onSaveRequested(QWebEngineDownloadRequest *download);

private:
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void onAuthenticationRequired(const QUrl &requestUrl, QAuthenticator *authenticator);
    void onSaveFinished(QWebEngineDownloadRequest *download);
    bool commitArchive(QString *error) const;
    void finish(const QString &error);
    void releasePage();

    QPointer<WebEngineArchiver> m_archiver;
    QUrl m_url;
    QString m_path;
    QString m_partPath;
    QPointer<QWebEnginePage> m_page;
    QPointer<QWebEngineDownloadRequest> m_save;
    QTimer m_timeout;
    int m_rejectedAnswers = 0;
    bool m_answered = false;
    bool m_saving = false;
    bool m_finished = false;
};
