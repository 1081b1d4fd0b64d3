#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <optional>

class QAuthenticator;

// One download of a feed document. It keeps the body of the last response only, answers one
// authentication challenge from the feed's own host with the feed's credentials, and ends with
// exactly one of finished() or failed(), never after cancel().
class FeedDownload : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 DefaultMaximumBodySize = 64 * 1024 * 1024;

    // Present credentials count even when empty; std::nullopt means the feed has none.
    FeedDownload(const QUrl& url, std::optional<QString> login, std::optional<QString> password,
        QObject* parent = nullptr);
    ~FeedDownload() override;

    QUrl url() const { return m_url; }
    bool isRunning() const { return m_reply != nullptr; }

    // Sends the request; the outcome arrives later, through the event loop.
    void start();
    // Stops the transfer; no signal of this download arrives afterwards.
    void cancel();

    // Bodies larger than this end the download as a failure instead of filling memory.
    static qint64 maximumBodySize();
    static void setMaximumBodySize(qint64 bytes);

    // Whether a challenge from url may receive the credentials of the feed at feedUrl: the same
    // host and port, or the same host moved from plain http to https.
    static bool isFeedHost(const QUrl& feedUrl, const QUrl& url);

Q_SIGNALS:
    void finished(const QByteArray& body);
    void failed(const QString& message);
    // A challenge went unanswered: a second one (the credentials were wrong), missing credentials,
    // or a challenge from another host. The download still ends through finished() or failed().
    void authenticationRefused();

private:
    void onAuthenticationRequired(QNetworkReply* reply, QAuthenticator* authenticator);
    void onMetaDataChanged();
    void onReadyRead();
    void onFinished();

    bool hasCredentials() const { return m_login.has_value() && m_password.has_value(); }
    void fail(const QString& reason);
    void stop();

    QUrl m_url;
    std::optional<QString> m_login;
    std::optional<QString> m_password;
    // Only downloads with credentials (the feed's or in its URL) get a manager of their own, so
    // that what Qt caches per host (answered credentials, authenticated connections) never serves
    // another feed.
    QPointer<QNetworkAccessManager> m_privateManager;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    bool m_answeredChallenge = false;
};
