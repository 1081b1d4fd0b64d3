#include "FeedDownload.h"

#include <QAuthenticator>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimerEvent>

#include <algorithm>
#include <utility>

#include "model/ContentDecoder.h"
#include "model/DownloadQueue.h"
#include "model/FeedScheduleHints.h"
#include "model/ModelLog.h"
#include "model/NetworkAccess.h"
#include "model/parsing/NaturalLanguageDate.h"
#include "platform/RegularFile.h"

namespace {

int effectivePort(const QUrl &url)
{
    if (url.scheme() == QLatin1String("https")) {
        return url.port(443);
    }
    return url.port(url.scheme() == QLatin1String("http") ? 80 : -1);
}

// "404 Not Found"; the standard phrase stands in when the server sent none.
QString httpStatusText(const QNetworkReply &reply, int status)
{
    QByteArray phrase = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray();
    if (phrase.isEmpty()) {
        phrase = NetworkAccess::reasonPhrase(status);
    }
    return phrase.isEmpty() ? QString::number(status)
                            : QString::number(status) + QLatin1Char(' ') + QString::fromLatin1(phrase);
}

int httpStatus(const QNetworkReply &reply)
{
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString errorText(const QNetworkReply &reply)
{
    const int status = httpStatus(reply);
    if (status >= 400) {
        return httpStatusText(reply, status);
    }
    // Every abort of our own disconnects first, so a cancelled reply that still reaches us was
    // stopped by the transfer timeout, for which Qt 6.4 says no more than "Operation canceled".
    if (reply.error() == QNetworkReply::OperationCanceledError) {
        return QStringLiteral("Request timed out");
    }
    return reply.errorString();
}

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// However long a server asks us to wait, a feed is tried again the next day.
constexpr qint64 MaximumRetryDelaySeconds = 24 * 60 * 60;

QString tooLargeText(qint64 maximumBodySize)
{
    return QStringLiteral("Feed document larger than %1")
        .arg(QLocale::c().formattedDataSize(maximumBodySize, 0, QLocale::DataSizeTraditionalFormat));
}

} // namespace

FeedDownload::FeedDownload(const QUrl &url, Credentials credentials, QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_credentials(std::move(credentials))
{
}

FeedDownload::~FeedDownload()
{
    stop();
}

void FeedDownload::timerEvent(QTimerEvent *event)
{
    // Both fire once.
    if (event->timerId() == m_fileRead.timerId()) {
        m_fileRead.stop();
        readLocalFile();
    } else if (event->timerId() == m_deadline.timerId()) {
        m_deadline.stop();
        onDeadline();
    } else {
        QObject::timerEvent(event);
    }
}

bool FeedDownload::isRunning() const
{
    return m_queued || m_reply != nullptr || m_fileRead.isActive();
}

void FeedDownload::start()
{
    if (isRunning()) {
        qCWarning(lcModel, "FeedDownload::start: the download is already running");
        return;
    }
    m_body = QByteArray();
    m_answeredChallenge = false;
    m_responseUrl = QUrl();
    m_responseValidators = HttpValidators();
    m_retryAfter.reset();
    m_freshness.reset();
    // Qt opens a file URL on this thread with a blocking open(), which a FIFO holds for ever.
    if (m_url.isLocalFile()) {
        m_deadline.start(int(m_limits.totalTimeout.count()), this);
        m_fileRead.start(0, this);
        return;
    }
    m_queued = true;
    DownloadQueue::shared().enqueue(this);
}

void FeedDownload::send()
{
    m_deadline.start(int(m_limits.totalTimeout.count()), this);
    QNetworkAccessManager *manager = NetworkAccess::manager();
    // Credentials in the URL are cached per host by Qt just like answered ones.
    if (m_credentials.isComplete() || !m_url.userInfo().isEmpty()) {
        m_privateManager = NetworkAccess::createManager(this);
        manager = m_privateManager;
    }
    connect(manager, &QNetworkAccessManager::authenticationRequired, this, &FeedDownload::onAuthenticationRequired);
    QNetworkRequest request = NetworkAccess::request(m_url);
    request.setTransferTimeout(int(m_limits.transferTimeout.count()));
    if (!m_validators.etag.isEmpty()) {
        request.setRawHeader("If-None-Match", m_validators.etag);
    }
    if (!m_validators.lastModified.isEmpty()) {
        request.setRawHeader("If-Modified-Since", m_validators.lastModified);
    }
    // Naming the encodings ourselves turns Qt's own decoding off: ContentDecoder says why a
    // body could not be decoded, where Qt gives an empty reason.
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    m_reply = manager->get(request);
    // Without a limit Qt's network thread reads every document ahead into its own
    // buffers while the main thread is still parsing the earlier ones.
    m_reply->setReadBufferSize(64 * 1024);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &FeedDownload::onMetaDataChanged);
    connect(m_reply, &QNetworkReply::readyRead, this, &FeedDownload::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &FeedDownload::onFinished);
}

void FeedDownload::cancel()
{
    stop();
}

bool FeedDownload::isFeedHost(const QUrl &feedUrl, const QUrl &url)
{
    if (url.host().compare(feedUrl.host(), Qt::CaseInsensitive) != 0) {
        return false;
    }
    const int feedPort = effectivePort(feedUrl);
    const int port = effectivePort(url);
    // Servers commonly move a feed from http to https on the same host; the credentials then
    // travel better protected than the user asked for, so that still counts as the feed's host.
    const bool upgradedToHttps = feedUrl.scheme() == QLatin1String("http") && feedPort == 80
        && url.scheme() == QLatin1String("https") && port == 443;
    return port == feedPort || upgradedToHttps;
}

std::optional<QDateTime> FeedDownload::retryMoment(const QByteArray &value, const QDateTime &now)
{
    const QByteArray text = value.trimmed();
    bool isNumber = false;
    qint64 seconds = text.toLongLong(&isNumber);
    // Digits too many for 64 bits still name a delay, a longer one than the cap.
    if (!isNumber && !text.isEmpty() && std::all_of(text.begin(), text.end(), isAsciiDigit)) {
        isNumber = true;
        seconds = MaximumRetryDelaySeconds;
    }
    QDateTime moment;
    if (isNumber) {
        moment = now.addSecs(qBound<qint64>(0, seconds, MaximumRetryDelaySeconds));
    } else if (!text.isEmpty()) {
        moment = dateWithNaturalLanguageString(QString::fromLatin1(text)).value_or(QDateTime());
    }
    if (!moment.isValid() || moment <= now) {
        return std::nullopt;
    }
    return qMin(moment, now.addSecs(MaximumRetryDelaySeconds));
}

void FeedDownload::onAuthenticationRequired(QNetworkReply *reply, QAuthenticator *authenticator)
{
    if (reply != m_reply) {
        return;
    }
    // Credentials that cannot answer (an empty login) are refused here explicitly.
    if (m_answeredChallenge || !isFeedHost(m_url, reply->url()) || !m_credentials.answer(authenticator)) {
        Q_EMIT authenticationRefused();
        return;
    }
    m_answeredChallenge = true;
}

void FeedDownload::onMetaDataChanged()
{
    // Each response (after a redirect, say) starts the document afresh.
    m_body = QByteArray();
    m_decoder.reset();
    m_statusFailure.clear();
    m_responseUrl = m_reply->url();
    m_responseValidators = {m_reply->rawHeader("ETag"), m_reply->rawHeader("Last-Modified")};
    m_freshness =
        FeedScheduleHints::freshnessSeconds(m_reply->rawHeader("Cache-Control"), m_reply->rawHeader("Expires"),
                                            m_reply->rawHeader("Date"), QDateTime::currentDateTimeUtc());
    const int status = httpStatus(*m_reply);
    if ((status == 429 || status == 503) && m_reply->hasRawHeader("Retry-After")) {
        m_retryAfter = retryMoment(m_reply->rawHeader("Retry-After"), QDateTime::currentDateTimeUtc());
    }
    if (status >= 400) {
        m_statusFailure = httpStatusText(*m_reply, status);
        return;
    }
    // Other values (servers send "UTF-8" here, say) leave the body as it came, as Qt did.
    if (ContentDecoder::decodes(m_reply->rawHeader("Content-Encoding"))) {
        m_decoder = std::make_unique<ContentDecoder>(m_limits.maximumBodySize);
        return;
    }
    const qint64 announced = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (announced > m_limits.maximumBodySize) {
        fail(tooLargeText(m_limits.maximumBodySize));
        return;
    }
    m_body.reserve(announced);
}

void FeedDownload::onReadyRead()
{
    const qint64 available = m_reply->bytesAvailable();
    // An error page is read only to be thrown away, so that the reply ends on its own.
    if (!m_statusFailure.isEmpty()) {
        m_reply->skip(available);
        return;
    }
    if (m_decoder) {
        decodeAvailable();
        return;
    }
    if (m_body.size() + available > m_limits.maximumBodySize) {
        fail(tooLargeText(m_limits.maximumBodySize));
        return;
    }
    // Read straight into the document buffer: one copy out of Qt's buffer, none after.
    const qsizetype oldSize = m_body.size();
    m_body.resize(oldSize + available);
    const qint64 read = m_reply->read(m_body.data() + oldSize, available);
    m_body.resize(oldSize + qMax<qint64>(read, 0));
}

void FeedDownload::decodeAvailable()
{
    const QByteArray compressed = m_reply->read(m_reply->bytesAvailable());
    switch (m_decoder->decode(compressed, &m_body)) {
    case ContentDecoder::Result::Decoded:
        return;
    case ContentDecoder::Result::TooLarge:
        fail(tooLargeText(m_limits.maximumBodySize));
        return;
    case ContentDecoder::Result::Corrupt:
        fail(QStringLiteral("Decompression failed: %1").arg(m_decoder->errorString()));
        return;
    }
}

void FeedDownload::onFinished()
{
    if (!m_statusFailure.isEmpty()) {
        fail(m_statusFailure);
        return;
    }
    if (m_reply->error() != QNetworkReply::NoError) {
        fail(errorText(*m_reply));
        return;
    }
    if (m_decoder && !m_decoder->isComplete() && !m_body.isEmpty()) {
        fail(QStringLiteral("Decompression failed: the compressed data ends early"));
        return;
    }
    const bool unchanged = httpStatus(*m_reply) == 304;
    // Without validators there is no document the answer could mean: the feed would show as
    // connected with nothing in it, check after check.
    if (unchanged && m_validators.isEmpty()) {
        fail(httpStatusText(*m_reply, 304));
        return;
    }
    const QByteArray body = std::exchange(m_body, QByteArray());
    stop();
    if (unchanged) {
        Q_EMIT notModified();
        return;
    }
    Q_EMIT finished(body);
}

void FeedDownload::onDeadline()
{
    fail(QStringLiteral("Request timed out"));
}

void FeedDownload::readLocalFile()
{
    m_responseUrl = m_url;
    QString error;
    // One byte over the limit tells a file that is too large from one exactly at it.
    const std::optional<QByteArray> body = RegularFile::read(m_url.toLocalFile(), m_limits.maximumBodySize + 1, &error);
    if (!body) {
        fail(error);
        return;
    }
    if (body->size() > m_limits.maximumBodySize) {
        fail(tooLargeText(m_limits.maximumBodySize));
        return;
    }
    stop();
    Q_EMIT finished(*body);
}

void FeedDownload::fail(const QString &reason)
{
    const QUrl failingUrl = m_reply ? m_reply->url() : m_url;
    const QString urlText =
        failingUrl.isEmpty() ? QStringLiteral("(unknown URL)") : failingUrl.toString(QUrl::RemovePassword);
    stop();
    m_decoder.reset();
    Q_EMIT failed(QStringLiteral("Failed %1 %2").arg(reason, urlText));
}

void FeedDownload::stop()
{
    m_fileRead.stop();
    m_deadline.stop();
    if (std::exchange(m_queued, false)) {
        DownloadQueue::shared().leave(this);
    }
    if (m_reply) {
        QNetworkReply *reply = m_reply;
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        disconnect(reply->manager(), nullptr, this, nullptr);
        // Aborting from inside one of the reply's own signals, or a reply that has meanwhile
        // failed or finished on its own, makes Qt set its error a second time and say so on
        // standard error ("QNetworkReplyImplPrivate::error: Internal problem"). So the abort waits
        // for the next turn of the event loop and is skipped when the reply already ended;
        // nothing reaches this download any more anyway.
        QMetaObject::invokeMethod(
            reply,
            [reply] {
                if (reply->error() == QNetworkReply::NoError && !reply->isFinished()) {
                    reply->abort();
                }
            },
            Qt::QueuedConnection);
        reply->deleteLater();
    }
    if (m_privateManager) {
        m_privateManager->deleteLater();
        m_privateManager = nullptr;
    }
}
