#pragma once

#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

class QUrl;

// The proxy every request of the program goes through: the "Proxy" preference when it names
// one, else the system's, read from the environment as command-line tools read it
// (http_proxy, https_proxy, all_proxy, no_proxy).
namespace NetworkProxy {

// What the "Proxy" preference says: empty for the system's proxy, "none" for none, or a
// proxy's URL ("http://host:3128", "socks5://host:1080"). Nothing when the text is none of these.
struct Choice
{
    enum class Kind { System, None, Fixed };
    Kind kind = Kind::System;
    QNetworkProxy proxy;
};
std::optional<Choice> choiceFromPreference(const QString &text);

// A proxy's URL as proxy settings write it: "http://host:port", "socks5://user:pw@host", or
// "host:port" for an http proxy. The port is 1080 when the URL has none. Nothing for other schemes.
std::optional<QNetworkProxy> proxyFromUrl(const QString &text);

// The system's proxy for a request to target, from the environment given.
QNetworkProxy systemProxyFor(const QUrl &target, const QProcessEnvironment &environment);

// Whether no_proxy (a list of host names, domains with or without a leading dot, addresses,
// optionally with a port, or "*") exempts target from the proxy.
bool isExempt(const QUrl &target, const QString &noProxy);

// The proxy for a request to target under the current "Proxy" preference and environment.
QNetworkProxy proxyFor(const QUrl &target);

// Makes the application-wide proxy, the one Qt WebEngine follows, the current preference's.
// The engine reads the system's proxy itself, with no_proxy, when the preference is empty.
void applyToApplication();

// Installed on every network manager of the program: asks proxyFor at each connection, so a
// change of the preference applies to the next request.
class Factory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;
};

} // namespace NetworkProxy
