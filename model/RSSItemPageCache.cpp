#include "model/RSSItem.h"

#include <QAuthenticator>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include "model/FeedDownload.h"
#include "model/FeedEvents.h"
#include "model/OpenPolicy.h"
#include "model/RSSFeed.h"
#include "platform/BrevlinFolders.h"
#include "platform/OwnerOnly.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "platform/WebArchiveJob.h"
#include "platform/WebArchiver.h"

namespace {

// cachedPath comes from the store file, so it is checked before anything is deleted: only an
// entry directly inside our caches folder is ours. A symbolic link there is removed itself,
// never what it points to; a folder is left to the start-up sweep.
bool isOurCacheFile(const QFileInfo &file)
{
    const QString folder = QFileInfo(BrevlinFolders::cachesFolder()).canonicalFilePath();
    if (folder.isEmpty() || QFileInfo(file.absolutePath()).canonicalFilePath() != folder) {
        return false;
    }
    return file.isSymLink() || !file.isDir();
}

bool isPageCacheEnabled()
{
    return UserDefaults::standardUserDefaults()->boolForKey(Preferences::enableTargetPageCache);
}

QString newCachePath()
{
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return BrevlinFolders::cachesFolder() + QLatin1Char('/') + name + QStringLiteral(".mhtml");
}

} // namespace

void RSSItem::cachePage()
{
    WebArchiver *archiver = WebArchiver::shared();
    if (!archiver || !isPageCacheEnabled() || cachedPath() || cachingPage()) {
        return;
    }
    // Marked before the address is looked at: an entry whose page cannot be had is not tried again.
    pageCache().tried = true;
    // Feed data names the page, so only web pages are loaded: never a local file, never script.
    const std::optional<QString> address = this->url();
    const QUrl url(address.value_or(QString()), QUrl::StrictMode);
    if (!address || !OpenPolicy::isWebPage(url)) {
        return;
    }
    // New folders are owner-only: pages can be fetched with the feed's login.
    QString folderError;
    if (!OwnerOnly::makeFolder(BrevlinFolders::cachesFolder(), &folderError)) {
        qWarning("RSSItem Page Caching: %s %s", qPrintable(folderError), qPrintable(url.toString()));
        return;
    }
    if (!m_feed) {
        loadPage(url);
        return;
    }
    // A page of a feed with a login may ask for it, so the password is fetched first.
    QObject *passwordWait = new QObject;
    m_pageCache->passwordWait.reset(passwordWait);
    m_feed->whenPasswordKnown(passwordWait, [this, url] {
        m_pageCache->passwordWait.release()->deleteLater();
        loadPage(url);
    });
}

void RSSItem::loadPage(const QUrl &url)
{
    WebArchiver *archiver = WebArchiver::shared();
    if (!archiver) {
        return;
    }
    const QString path = newCachePath();
    m_pageCache->load = archiver->archive(url, path);
    WebArchiveJob *load = m_pageCache->load.get();
    QObject::connect(load, &WebArchiveJob::archived, load, [this, path] { onPageArchived(path); });
    QObject::connect(load, &WebArchiveJob::failed, load, [this](const QString &description, const QString &failingUrl) {
        onPageFailed(description, failingUrl);
    });
    QObject::connect(load, &WebArchiveJob::authenticationRequired, load,
                     [this](const QUrl &requestUrl, int previousFailures, QAuthenticator *answer) {
                         onPageAuthenticationRequired(requestUrl, previousFailures, answer);
                     });
}

void RSSItem::onPageArchived(const QString &path)
{
    releasePageLoad();
    // Switched off while the page loaded: the user no longer wants copies kept.
    if (!isPageCacheEnabled()) {
        QFile::remove(path);
        return;
    }
    setCachedPath(path);
    Q_EMIT FeedEvents::of(managedObjectContext())->updateMenus();
}

void RSSItem::onPageFailed(const QString &description, const QString &failingUrl)
{
    releasePageLoad();
    qWarning("RSSItem Page Caching: %s %s", qPrintable(description), qPrintable(failingUrl));
}

void RSSItem::onPageAuthenticationRequired(const QUrl &requestUrl, int previousFailures, QAuthenticator *answer) const
{
    if (previousFailures != 0) {
        qWarning("RSSItem Page Caching: Invalid Username or Password");
        return;
    }
    // The feed's login is for the feed's own server; a page elsewhere that asks for one gets none.
    if (m_feed && FeedDownload::isFeedHost(QUrl(m_feed->url().value_or(QString())), requestUrl)) {
        m_feed->credentials().answer(answer);
    }
}

void RSSItem::releasePageLoad()
{
    // Called from the job's own signal, so it goes once that signal has returned.
    if (m_pageCache->load) {
        m_pageCache->load.release()->deleteLater();
    }
}

void RSSItem::removePageCache()
{
    // A load still running, or waiting for its password, stops here and never reports back.
    if (!m_pageCache) {
        return;
    }
    m_pageCache->passwordWait.reset();
    m_pageCache->load.reset();
    if (!m_pageCache->path) {
        return;
    }
    const QString path = *m_pageCache->path;
    setCachedPath(std::nullopt);
    const QFileInfo file(path);
    if (isOurCacheFile(file)) {
        QFile::remove(path);
    }
}
