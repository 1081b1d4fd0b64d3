#include "model/FeedSubscriber.h"

#include <QRegularExpression>
#include <QUrl>

#include "model/OpenPolicy.h"
#include "model/RSSFeed.h"
#include "store/ObjectContext.h"

namespace {

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    return -1;
}

// "%7E" and "~" name the same resource, "%2F" and "/" do not (RFC 3986, 2.3 and 6.2.2);
// the escapes that stay are compared in upper case.
QString decodeUnreserved(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text.at(i) == QLatin1Char('%') ? hexValue(text.at(i + 1)) : -1;
        const int low = high >= 0 ? hexValue(text.at(i + 2)) : -1;
        if (low < 0) {
            result += text.at(i);
            continue;
        }
        const char decoded = char(high * 16 + low);
        result += isUnreserved(decoded) ? QString(QLatin1Char(decoded)) : text.mid(i, 3).toUpper();
        i += 2;
    }
    return result;
}

QString percentDecoded(const QString &text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

} // namespace

FeedSubscriber::FeedSubscriber(ObjectContext *context, const QList<RSSFeed *> &existingFeeds, Addresses addresses)
    : m_context(context)
    , m_addresses(addresses)
{
    for (const RSSFeed *feed : existingFeeds) {
        if (feed->url()) {
            m_subscribedAddresses.insert(comparableAddress(*feed->url()));
        }
    }
}

FeedSubscriber::Outcome FeedSubscriber::subscribe(const Subscription &typed)
{
    const Subscription subscription = withCredentialsFromAddress(typed);
    RSSFeed *feed = RSSFeed::insert(m_context);
    if (subscription.name) {
        feed->setName(subscription.name);
    }
    feed->setCredentials(subscription.credentials);
    if (subscription.showInRecentList) {
        feed->setShowInRecentList(true);
    }
    feed->setUrl(subscription.url);
    // The address is judged after the feed's own rewrite ("feed://" reads as "http://").
    const QString url = feed->url().value_or(QString());
    Outcome outcome = Outcome::Added;
    if (!isUsableAddress(url, m_addresses)) {
        outcome = Outcome::NotAnAddress;
    } else if (m_subscribedAddresses.contains(comparableAddress(url))) {
        outcome = Outcome::AlreadySubscribed;
    }
    if (outcome == Outcome::Added) {
        m_subscribedAddresses.insert(comparableAddress(url));
    } else {
        m_context->deleteObject(feed);
    }
    return outcome;
}

bool FeedSubscriber::isUsableAddress(const QString &text, Addresses addresses)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        return false;
    }
    if (url.isLocalFile()) {
        return addresses == Addresses::WebAndFile && !url.path().isEmpty();
    }
    return OpenPolicy::isWebPage(url);
}

Subscription FeedSubscriber::withCredentialsFromAddress(Subscription subscription)
{
    // The user information ends at the last "@" of the authority; the rest of the address is
    // left exactly as typed, escapes and all.
    static const QRegularExpression userInfo(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://([^/?#]*)@"));
    const QRegularExpressionMatch match = userInfo.match(subscription.url);
    if (!match.hasMatch()) {
        return subscription;
    }
    const QString information = match.captured(1);
    const qsizetype colon = information.indexOf(QLatin1Char(':'));
    const QString login = percentDecoded(information.left(colon));
    Credentials &credentials = subscription.credentials;
    if (!credentials.login && !login.isEmpty()) {
        credentials.login = login;
    }
    if (!credentials.password && colon >= 0) {
        const QString password = percentDecoded(information.mid(colon + 1));
        if (!password.isEmpty()) {
            credentials.password = password;
        }
    }
    subscription.url.remove(match.capturedStart(1), match.capturedLength(1) + 1);
    return subscription;
}

QString FeedSubscriber::comparableAddress(const QString &text)
{
    const QUrl url(text);
    if (!url.isValid() || url.scheme().isEmpty()) {
        return text;
    }
    const QString scheme = url.scheme().toLower();
    const bool isWeb = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    QString comparable = scheme + QStringLiteral("://") + url.host(QUrl::FullyEncoded).toLower();
    const int defaultPort = scheme == QLatin1String("http") ? 80 : scheme == QLatin1String("https") ? 443 : -1;
    if (url.port() >= 0 && url.port() != defaultPort) {
        comparable += QLatin1Char(':') + QString::number(url.port());
    }
    const QString path = decodeUnreserved(url.path(QUrl::FullyEncoded));
    comparable += path.isEmpty() && isWeb ? QStringLiteral("/") : path;
    if (url.hasQuery()) {
        comparable += QLatin1Char('?') + decodeUnreserved(url.query(QUrl::FullyEncoded));
    }
    if (url.hasFragment()) {
        comparable += QLatin1Char('#') + decodeUnreserved(url.fragment(QUrl::FullyEncoded));
    }
    return comparable;
}
