#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

#include "model/DownloadLimits.h"
#include "platform/Credentials.h"

class FeedDownload;

// One feed a website offers.
struct DiscoveredFeed
{
    QUrl url;
    QString title;
    QString format; // "rss" (RSS 2.0 and older), "rdf" (RSS 1.0) or "atom"

    friend bool operator==(const DiscoveredFeed &, const DiscoveredFeed &) = default;
};

// Finds the feeds behind an address people paste: the address itself when it is a feed, else
// the feeds its HTML page names, else those found at a few well-known paths on its host. Ends
// with finished(), exactly once, never after the object is destroyed.
class FeedDiscovery : public QObject
{
    Q_OBJECT

public:
    // A page naming more feeds than this is not offered the rest.
    static constexpr qsizetype MaximumFeeds = 50;

    explicit FeedDiscovery(const QUrl &address, Credentials credentials = {}, QObject *parent = nullptr);
    ~FeedDiscovery() override;

    // Set before start(); the defaults otherwise.
    void setDownloadLimits(const DownloadLimits &limits) { m_downloadLimits = limits; }
    // Starts the downloads; the outcome arrives later, through the event loop.
    void start();

    QUrl address() const { return m_address; }
    // In the order the page names them; empty until finished().
    QList<DiscoveredFeed> feeds() const { return m_feeds; }
    // Whether the address itself is a feed document (then it is the one feed found).
    bool addressIsFeed() const { return m_addressIsFeed; }
    // Why the address itself could not be read ("Failed 404 Not Found <url>"); empty when it
    // could, even if no feed was found.
    QString errorString() const { return m_errorString; }

    // The feed in a downloaded document, if it is one.
    static std::optional<DiscoveredFeed> feedInDocument(const QByteArray &body, const QUrl &url);
    // The http and https feeds an HTML page at pageUrl names as alternates, at most MaximumFeeds.
    static QList<DiscoveredFeed> feedsNamedByPage(const QByteArray &page, const QUrl &pageUrl);

Q_SIGNALS:
    void finished();

private:
    void onPageFinished(const QByteArray &body);
    void onPageFailed(const QString &message);
    void tryNextWellKnownPath();
    void onGuessFinished(const QByteArray &body);
    FeedDownload *download(const QUrl &url);
    void dropDownload();
    void finish();

    QUrl m_address;
    Credentials m_credentials;
    DownloadLimits m_downloadLimits;
    FeedDownload *m_download = nullptr;
    QUrl m_pageUrl;
    qsizetype m_nextGuess = 0;
    QList<DiscoveredFeed> m_feeds;
    bool m_addressIsFeed = false;
    QString m_errorString;
};
