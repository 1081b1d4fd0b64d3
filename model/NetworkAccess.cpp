#include "NetworkAccess.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QUrl>

#include <utility>

#include "platform/NetworkProxy.h"

namespace {

const QByteArray &userAgent()
{
    static const QByteArray agent = QByteArrayLiteral("RSS Brevlin/" BREVLIN_VERSION);
    return agent;
}

} // namespace

namespace NetworkAccess {

QNetworkAccessManager *manager()
{
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    static QPointer<QNetworkAccessManager> shared;
    if (!shared) {
        shared = createManager(QCoreApplication::instance());
        // Destroyed before the application object: as its child the manager would go
        // after the objects its TLS back end still refers to.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, shared,
                         [] { delete shared.data(); });
    }
    return shared;
}

QNetworkAccessManager *createManager(QObject *parent)
{
    auto *manager = new QNetworkAccessManager(parent);
    // Feeds move from http to https and between hosts; going back from https to http would
    // silently drop the protection the user chose, so that is the one redirect not followed.
    manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    // Every request asks the "Proxy" preference afresh, so a change applies to the next one.
    manager->setProxyFactory(new NetworkProxy::Factory);
    return manager;
}

QNetworkRequest request(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    return request;
}

QByteArray reasonPhrase(int status)
{
    static constexpr std::pair<int, const char *> phrases[] = {
        {200, "OK"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {407, "Proxy Authentication Required"},
        {408, "Request Timeout"},
        {410, "Gone"},
        {429, "Too Many Requests"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
    };
    for (const auto &[code, phrase] : phrases) {
        if (code == status) {
            return QByteArray(phrase);
        }
    }
    return {};
}

} // namespace NetworkAccess
