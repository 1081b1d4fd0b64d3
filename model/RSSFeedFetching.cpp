#include "model/RSSFeed.h"

#include <QDateTime>
#include <QUrl>

#include <memory>
#include <utility>

#include "model/DownloadQueue.h"
#include "model/FeedDownload.h"
#include "model/FeedEvents.h"
#include "model/parsing/XmlDocument.h"
#include "platform/DeferredCalls.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "store/DistantPast.h"
#include "store/ObjectContext.h"

namespace {

// Feeds from this service are titled differently (see RSSItem::brevlinTitle).
const QString twitterDomain = QStringLiteral("twitter.com");

} // namespace

void RSSFeed::awakeFromInsert()
{
    setLastFetchDate(distantPast());
}

void RSSFeed::awakeFromFetch()
{
    if (!UserDefaults::standardUserDefaults()->boolForKey(Preferences::showGrowlsOnLaunch)) {
        m_lastFetchDate = distantPast();
    }
    if (m_generator) {
        setFlagsFromGenerator(*m_generator);
    }
    checkFeed();
}

void RSSFeed::setFlagsFromGenerator(const QString &generator)
{
    m_isTracFeed = generator.contains(QLatin1String("Trac"));
    m_isTwitterFeed = generator.contains(QLatin1String("Twitter"));
}

void RSSFeed::cancelDownload()
{
    dropDownload();
}

void RSSFeed::checkFeed()
{
    // A context that only reads or edits the store (the command line) checks nothing.
    if (!managedObjectContext()->checksFeeds()) {
        return;
    }
    // The server asked for a pause after the last check; its message stays until then.
    if (m_retryAfter && QDateTime::currentDateTimeUtc() < *m_retryAfter) {
        return;
    }
    dropDownload();
    if (m_url) {
        if (m_url->contains(twitterDomain)) {
            setGenerator(QStringLiteral("Twitter"));
            m_isTwitterFeed = true;
        }
        const QUrl url(*m_url);
        // Text the user is still typing, such as "example.org/feed", is no address yet: leave the
        // feed as it is instead of reporting a failure.
        if (!url.isValid() || (!url.isLocalFile() && url.host().isEmpty())) {
            return;
        }
        // The check counts as running while the keyring is asked for the password and while it
        // waits for its turn, so that a check of all feeds waits for it; other feeds go on
        // meanwhile. Its download is made only when its turn comes: a round of 2,000 feeds
        // would otherwise hold 2,000 downloads at once.
        m_downloadWaits = true;
        const quint64 check = ++m_checkNumber;
        whenPasswordKnown(this, [this, url, check] {
            // A check dropped meanwhile is over.
            if (check != m_checkNumber) {
                return;
            }
            // A file is read at once; it takes no slot.
            if (url.isLocalFile()) {
                startDownload(url);
                return;
            }
            // A dropped check gives its place up, so a place whose turn comes is this check's.
            DownloadQueue::shared().enqueue(this, [this, url] { startDownload(url); });
        });
        setErrorMessage(std::nullopt);
    }
    cleanupOldItems();
}

void RSSFeed::startDownload(const QUrl &url)
{
    m_downloadWaits = false;
    m_connection = new FeedDownload(url, {m_login, std::nullopt}, this);
    m_connection->setLimits(m_downloadLimits);
    connect(m_connection, &FeedDownload::finished, this, &RSSFeed::onDownloadFinished);
    connect(m_connection, &FeedDownload::notModified, this, &RSSFeed::onDownloadNotModified);
    connect(m_connection, &FeedDownload::failed, this, &RSSFeed::onDownloadFailed);
    connect(m_connection, &FeedDownload::authenticationRefused, this, &RSSFeed::onAuthenticationRefused);
    m_checkMemory.keepFor(m_url, credentials());
    m_connection->setPassword(password());
    // Validators exist only after a document was parsed in this run: the first check after
    // launch, whose document moves lastFetchDate on from the distant past, always gets one.
    m_connection->setValidators(m_checkMemory.validators());
    m_connection->start();
}

void RSSFeed::onDownloadFinished(const QByteArray &body)
{
    const HttpValidators validators = m_connection->responseValidators();
    setResponseFreshness(m_connection->freshness());
    dropDownload();
    setRetryAfter(std::nullopt);
    // The parse runs on a later turn of the event loop, after this callback has returned. With the
    // feed as context it is dropped when the feed is destroyed first; a feed deleted from the store
    // still exists until the next save and must not take entries any more. The document is read
    // there too: a check of many feeds finishes its downloads in a burst, and trees read here would
    // all be alive at once, several times the size of the bodies that wait instead.
    DeferredCalls::post(this, [this, body, validators] {
        QString parserError;
        const std::unique_ptr<const XmlDocument> document = XmlDocument::fromData(body, &parserError);
        const QString error = documentError(document.get(), body, parserError);
        // Validators vouch only for a feed: a page served in its place must be fetched again.
        m_checkMemory.setValidators(error.isEmpty() ? validators : HttpValidators());
        // A non-null "" so that the outcome stays "" (not absent) on its way through the store.
        setErrorMessage(error.isEmpty() ? QString(QLatin1String("")) : error);
        if (state() != State::Deleted) {
            parseDocument(document.get());
        }
        Q_EMIT checkEnded();
    });
}

void RSSFeed::onDownloadNotModified()
{
    setResponseFreshness(m_connection->freshness());
    dropDownload();
    setRetryAfter(std::nullopt);
    setErrorMessage(QString(QLatin1String("")));
    Q_EMIT checkEnded();
}

void RSSFeed::onDownloadFailed(const QString &message)
{
    setRetryAfter(m_connection->retryAfter());
    dropDownload();
    setErrorMessage(message);
    Q_EMIT checkEnded();
}

void RSSFeed::onAuthenticationRefused()
{
    setErrorMessage(QStringLiteral("Invalid Username or Password"));
}

void RSSFeed::dropDownload()
{
    if (std::exchange(m_downloadWaits, false)) {
        ++m_checkNumber;
        DownloadQueue::shared().leave(this);
    }
    if (!m_connection) {
        return;
    }
    FeedDownload *download = std::exchange(m_connection, nullptr);
    download->cancel();
    disconnect(download, nullptr, this, nullptr);
    // The download may be the one whose signal is being delivered right now.
    download->deleteLater();
}

void RSSFeed::setErrorMessage(const std::optional<QString> &message)
{
    m_errorMessage = message;
    didChangeValueForKey(QStringLiteral("errorMessage"));
    if (!message) {
        return;
    }
    setDidConnect(message->isEmpty());
    Q_EMIT FeedEvents::of(managedObjectContext())->updateMenus();
}

void RSSFeed::setDidConnect(bool flag)
{
    m_didConnect = flag;
    m_didConnectString = m_didConnect ? QStringLiteral("Yes") : QStringLiteral("No");
    didChangeValueForKey(QStringLiteral("didConnectString"));
}
