#include "FeedDiscovery.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "model/FeedDownload.h"
#include "model/ModelLog.h"
#include "model/OpenPolicy.h"
#include "model/RSSFeed.h"
#include "model/parsing/XmlDocument.h"
#include "text/HtmlLinkReader.h"

namespace {

// Where sites commonly keep their feed, tried in this order when the page names none.
constexpr std::array wellKnownPaths = {"/feed", "/rss", "/atom.xml", "/feed.xml", "/rss.xml", "/index.xml"};

// Enough to find the feeds among the first feed links of a page of hostile length; the rest is
// not kept. Alternates of other types (translations, print versions) do not count.
constexpr qsizetype MaximumAlternateLinks = 1000;

// The format an alternate link's type announces; empty for any other type.
QString formatOfType(const QString &type)
{
    const QString mediaType = type.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
    if (mediaType == QLatin1String("application/rss+xml")) {
        return QStringLiteral("rss");
    }
    if (mediaType == QLatin1String("application/atom+xml")) {
        return QStringLiteral("atom");
    }
    if (mediaType == QLatin1String("application/rdf+xml")) {
        return QStringLiteral("rdf");
    }
    return QString();
}

QString childText(const XmlNode &parent, const char *name)
{
    for (XmlNode child : parent.children()) {
        if (child.hasName(name)) {
            return child.stringValue().simplified();
        }
    }
    return QString();
}

} // namespace

FeedDiscovery::FeedDiscovery(const QUrl &address, Credentials credentials, QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_credentials(std::move(credentials))
{
}

FeedDiscovery::~FeedDiscovery()
{
    dropDownload();
}

void FeedDiscovery::start()
{
    if (m_download) {
        qCWarning(lcModel, "FeedDiscovery::start: the discovery is already running");
        return;
    }
    m_feeds.clear();
    m_addressIsFeed = false;
    m_errorString.clear();
    m_download = download(m_address);
    connect(m_download, &FeedDownload::finished, this, &FeedDiscovery::onPageFinished);
    connect(m_download, &FeedDownload::failed, this, &FeedDiscovery::onPageFailed);
    m_download->start();
}

std::optional<DiscoveredFeed> FeedDiscovery::feedInDocument(const QByteArray &body, const QUrl &url)
{
    const std::unique_ptr<XmlDocument> document = XmlDocument::fromData(body);
    const XmlNode root = document ? document->rootElement() : XmlNode();
    if (root.hasName("feed")) {
        return DiscoveredFeed{url, childText(root, "title"), QStringLiteral("atom")};
    }
    const bool isRdf = root.hasName("rdf:RDF");
    if (!isRdf && !root.hasName("rss")) {
        return std::nullopt;
    }
    QString title;
    for (XmlNode child : root.children()) {
        if (child.hasName("channel")) {
            title = childText(child, "title");
            break;
        }
    }
    return DiscoveredFeed{url, title, isRdf ? QStringLiteral("rdf") : QStringLiteral("rss")};
}

QList<DiscoveredFeed> FeedDiscovery::feedsNamedByPage(const QByteArray &page, const QUrl &pageUrl)
{
    const auto isFeedLink = [](const HtmlLinkReader::Link &link) { return !formatOfType(link.type).isEmpty(); };
    const HtmlLinkReader reader(page, QStringLiteral("alternate"), isFeedLink, MaximumAlternateLinks);
    const QUrl base = reader.baseHref().isEmpty() ? pageUrl : pageUrl.resolved(QUrl(reader.baseHref()));
    QList<DiscoveredFeed> feeds;
    for (const HtmlLinkReader::Link &link : reader.links()) {
        const QString format = formatOfType(link.type);
        // "feed://host/x" reads as "http://host/x", as it does when the user subscribes to it; a
        // relative "feed.rss" is no scheme to rewrite.
        const QUrl href(link.href);
        const QUrl url = base.resolved(href.isRelative() ? href : QUrl(RSSFeed::withFeedSchemeAsHttp(link.href)));
        const bool known =
            std::any_of(feeds.cbegin(), feeds.cend(), [&url](const DiscoveredFeed &feed) { return feed.url == url; });
        // Only addresses the program can subscribe to are offered; file: and javascript: links on
        // a page from the web would hand the page's author a way into the user's machine.
        if (format.isEmpty() || link.href.isEmpty() || !OpenPolicy::isWebPage(url) || known) {
            continue;
        }
        feeds.append({url, link.title, format});
        if (feeds.size() == MaximumFeeds) {
            break;
        }
    }
    return feeds;
}

void FeedDiscovery::onPageFinished(const QByteArray &body)
{
    m_pageUrl = m_download->responseUrl().isEmpty() ? m_address : m_download->responseUrl();
    if (std::optional<DiscoveredFeed> feed = feedInDocument(body, m_address)) {
        m_addressIsFeed = true;
        m_feeds = {*feed};
        finish();
        return;
    }
    m_feeds = feedsNamedByPage(body, m_pageUrl);
    if (!m_feeds.isEmpty()) {
        finish();
        return;
    }
    tryNextWellKnownPath();
}

void FeedDiscovery::onPageFailed(const QString &message)
{
    m_errorString = message;
    finish();
}

void FeedDiscovery::tryNextWellKnownPath()
{
    dropDownload();
    if (m_nextGuess >= qsizetype(wellKnownPaths.size())) {
        finish();
        return;
    }
    const QUrl guess = m_pageUrl.resolved(QUrl(QString::fromLatin1(wellKnownPaths[m_nextGuess++])));
    m_download = download(guess);
    connect(m_download, &FeedDownload::finished, this, &FeedDiscovery::onGuessFinished);
    connect(m_download, &FeedDownload::failed, this, &FeedDiscovery::tryNextWellKnownPath);
    m_download->start();
}

void FeedDiscovery::onGuessFinished(const QByteArray &body)
{
    if (std::optional<DiscoveredFeed> feed = feedInDocument(body, m_download->url())) {
        m_feeds.append(*feed);
    }
    tryNextWellKnownPath();
}

FeedDownload *FeedDiscovery::download(const QUrl &url)
{
    // A page may have redirected to another host; its well-known paths get no credentials then.
    const bool sameHost = FeedDownload::isFeedHost(m_address, url);
    auto *download = new FeedDownload(url, sameHost ? m_credentials : Credentials(), this);
    download->setLimits(m_downloadLimits);
    return download;
}

void FeedDiscovery::dropDownload()
{
    if (!m_download) {
        return;
    }
    FeedDownload *download = std::exchange(m_download, nullptr);
    download->cancel();
    // The download may be the one whose signal is being delivered right now.
    download->deleteLater();
}

void FeedDiscovery::finish()
{
    dropDownload();
    m_nextGuess = 0;
    Q_EMIT finished();
}
