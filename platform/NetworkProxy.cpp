#include "platform/NetworkProxy.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

#include "platform/Preferences.h"
#include "platform/UserDefaults.h"

namespace {

// The port curl and the desktop's settings assume when a proxy's address names none.
constexpr int defaultProxyPort = 1080;

QString firstSet(const QProcessEnvironment &environment, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QString value = environment.value(QLatin1String(name)).trimmed();
        if (!value.isEmpty()) {
            return value;
        }
    }
    return QString();
}

// An entry of no_proxy against the host (and port) of a request.
bool entryMatches(QString entry, const QString &host, int port)
{
    if (entry == QLatin1String("*")) {
        return true;
    }
    const QUrl asAuthority(QStringLiteral("//") + entry);
    if (asAuthority.isValid() && asAuthority.port() != -1) {
        if (asAuthority.port() != port) {
            return false;
        }
        entry = asAuthority.host();
    }
    entry = entry.toLower();
    if (entry.startsWith(QLatin1Char('['))) {
        entry = entry.mid(1).chopped(entry.endsWith(QLatin1Char(']')) ? 1 : 0);
    }
    if (entry.startsWith(QLatin1Char('.'))) {
        entry.remove(0, 1);
    }
    if (entry.isEmpty()) {
        return false;
    }
    const QHostAddress entryAddress(entry);
    if (!entryAddress.isNull()) {
        return entryAddress.isEqual(QHostAddress(host));
    }
    return host == entry || host.endsWith(QLatin1Char('.') + entry);
}

} // namespace

namespace NetworkProxy {

namespace {

// A value that is no proxy reads as the registered default, the system's proxy.
Choice currentChoice()
{
    const QString preference = UserDefaults::standardUserDefaults()->objectForKey(Preferences::proxy).toString();
    return choiceFromPreference(preference).value_or(Choice{});
}

} // namespace

std::optional<QNetworkProxy> proxyFromUrl(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QUrl url(trimmed.contains(QLatin1String("://")) ? trimmed : QStringLiteral("http://") + trimmed);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()) {
        return std::nullopt;
    }
    QNetworkProxy proxy;
    if (scheme == QLatin1String("http")) {
        proxy.setType(QNetworkProxy::HttpProxy);
    } else if (scheme == QLatin1String("socks5") || scheme == QLatin1String("socks5h")) {
        proxy.setType(QNetworkProxy::Socks5Proxy);
    } else {
        return std::nullopt;
    }
    proxy.setHostName(url.host());
    proxy.setPort(quint16(url.port(defaultProxyPort)));
    proxy.setUser(url.userName());
    proxy.setPassword(url.password());
    return proxy;
}

std::optional<Choice> choiceFromPreference(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return Choice{Choice::Kind::System, QNetworkProxy(QNetworkProxy::DefaultProxy)};
    }
    if (trimmed.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0) {
        return Choice{Choice::Kind::None, QNetworkProxy(QNetworkProxy::NoProxy)};
    }
    // Only a URL with a scheme: "none" misspelt must not read as a proxy host called "nnoe".
    if (!trimmed.contains(QLatin1String("://"))) {
        return std::nullopt;
    }
    const std::optional<QNetworkProxy> proxy = proxyFromUrl(trimmed);
    if (!proxy) {
        return std::nullopt;
    }
    return Choice{Choice::Kind::Fixed, *proxy};
}

bool isExempt(const QUrl &target, const QString &noProxy)
{
    const QString host = target.host().toLower();
    const int port = target.port(target.scheme() == QLatin1String("https") ? 443 : 80);
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    const QStringList entries = noProxy.split(separators, Qt::SkipEmptyParts);
    return std::any_of(entries.cbegin(), entries.cend(),
                       [&](const QString &entry) { return entryMatches(entry, host, port); });
}

QNetworkProxy systemProxyFor(const QUrl &target, const QProcessEnvironment &environment)
{
    if (isExempt(target, firstSet(environment, {"no_proxy", "NO_PROXY"}))) {
        return QNetworkProxy(QNetworkProxy::NoProxy);
    }
    // Both spellings, as the browser engine of the page cache reads them: the two must agree.
    const QString address = target.scheme() == QLatin1String("https")
        ? firstSet(environment, {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        : firstSet(environment, {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"});
    if (address.isEmpty()) {
        return QNetworkProxy(QNetworkProxy::NoProxy);
    }
    return proxyFromUrl(address).value_or(QNetworkProxy(QNetworkProxy::NoProxy));
}

QNetworkProxy proxyFor(const QUrl &target)
{
    const Choice choice = currentChoice();
    switch (choice.kind) {
    case Choice::Kind::Fixed:
    case Choice::Kind::None:
        return choice.proxy;
    case Choice::Kind::System:
        break;
    }
    return systemProxyFor(target, QProcessEnvironment::systemEnvironment());
}

void applyToApplication()
{
    const Choice choice = currentChoice();
    if (choice.kind == Choice::Kind::System) {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
    } else {
        QNetworkProxy::setApplicationProxy(choice.proxy);
    }
}

QList<QNetworkProxy> Factory::queryProxy(const QNetworkProxyQuery &query)
{
    return {proxyFor(query.url())};
}

} // namespace NetworkProxy
