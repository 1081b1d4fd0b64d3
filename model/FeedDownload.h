#pragma once

#include <QBasicTimer>
#include <QByteArray>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

#include "model/DownloadLimits.h"
#include "platform/Credentials.h"

class ContentDecoder;
class QAuthenticator;

// The validators of a response, sent back verbatim (quotes included) so that the server can
// answer "304 Not Modified" instead of the same document again.
struct HttpValidators
{
    QByteArray etag;
    QByteArray lastModified;

    bool isEmpty() const { return etag.isEmpty() && lastModified.isEmpty(); }
};

// One download of a feed document. It keeps the body of the last response only, answers one
// authentication challenge from the feed's own host with the feed's credentials, and ends with
// exactly one of finished(), notModified() or failed(), never after cancel(), and never later
// than its limits' total timeout after its request was sent: a request may first wait for a
// free slot of the DownloadQueue. A file URL is read only from a regular file.
class FeedDownload : public QObject
{
    Q_OBJECT

public:
    // Present credentials count even when empty; absent ones mean the feed has none.
    FeedDownload(const QUrl &url, Credentials credentials, QObject *parent = nullptr);
    ~FeedDownload() override;

    QUrl url() const { return m_url; }
    bool isRunning() const;

    // The password to answer a challenge with; set before start().
    void setPassword(const std::optional<QString> &password) { m_credentials.password = password; }
    // Makes the request conditional; set before start().
    void setValidators(const HttpValidators &validators) { m_validators = validators; }
    // Set before start(); the defaults otherwise.
    void setLimits(const DownloadLimits &limits) { m_limits = limits; }
    // Sends the request, or queues it until a slot is free; the outcome arrives later, through
    // the event loop.
    void start();
    // Stops the transfer; no signal of this download arrives afterwards.
    void cancel();

    // Whether a challenge from url may receive the credentials of the feed at feedUrl: the same
    // host and port, or the same host moved from plain http to https.
    static bool isFeedHost(const QUrl &feedUrl, const QUrl &url);

    // What the last response said, readable from the handlers of the ending signal: the address
    // it came from (after redirects), its validators, and for a 429 or 503 with Retry-After the
    // moment the server asked us to wait for.
    QUrl responseUrl() const { return m_responseUrl; }
    HttpValidators responseValidators() const { return m_responseValidators; }
    std::optional<QDateTime> retryAfter() const { return m_retryAfter; }
    // How long the response stays fresh by its cache headers, in seconds (see FeedScheduleHints).
    std::optional<qint64> freshness() const { return m_freshness; }

    // The moment a Retry-After value (seconds or an HTTP date) names, at most a day after now;
    // nothing for a value that names none or a moment already past.
    static std::optional<QDateTime> retryMoment(const QByteArray &value, const QDateTime &now);

Q_SIGNALS:
    void finished(const QByteArray &body);
    // The server answered 304 to the validators: the document is the one they came with.
    void notModified();
    void failed(const QString &message);
    // A challenge went unanswered: a second one (the credentials were wrong), missing credentials,
    // or a challenge from another host. The download still ends through finished() or failed().
    void authenticationRefused();

private:
    friend class DownloadQueue;

    // Sends the request, once the queue gave it a slot.
    void send();
    void onAuthenticationRequired(QNetworkReply *reply, QAuthenticator *authenticator);
    void onMetaDataChanged();
    void onReadyRead();
    void onFinished();
    void decodeAvailable();
    void onDeadline();
    void readLocalFile();
    void timerEvent(QTimerEvent *event) override;

    void fail(const QString &reason);
    void stop();

    QUrl m_url;
    Credentials m_credentials;
    // Only downloads with credentials (the feed's or in its URL) get a manager of their own, so
    // that what Qt caches per host (answered credentials, authenticated connections) never serves
    // another feed.
    QPointer<QNetworkAccessManager> m_privateManager;
    QPointer<QNetworkReply> m_reply;
    // A file is read on the next turn of the event loop, so that its outcome, like a reply's,
    // reaches handlers connected after start().
    // Plain timers, not QTimer objects: a check of 2,000 feeds makes all its downloads at once,
    // and each QTimer is an object with a connection of its own.
    QBasicTimer m_fileRead;
    QBasicTimer m_deadline;
    // From start() until the download ends: waiting for a slot or sending.
    bool m_queued = false;
    QByteArray m_body;
    // Set while the response's body is compressed.
    std::unique_ptr<ContentDecoder> m_decoder;
    // An HTTP error status, reported once the reply has finished: aborting a reply whose error
    // Qt has yet to set makes Qt set an error twice and complain on standard error.
    QString m_statusFailure;
    bool m_answeredChallenge = false;
    HttpValidators m_validators;
    DownloadLimits m_limits;
    QUrl m_responseUrl;
    HttpValidators m_responseValidators;
    std::optional<QDateTime> m_retryAfter;
    std::optional<qint64> m_freshness;
};
