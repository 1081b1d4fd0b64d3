#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <utility>

class QTcpServer;
class QTcpSocket;

using HttpHeaderList = QList<std::pair<QByteArray, QByteArray>>;

// One request as the server received it.
struct HttpTestRequest
{
    QByteArray method;
    QByteArray target; // path and query, as sent
    HttpHeaderList headers;
    QByteArray body;

    QByteArray path() const;
    // Case-insensitive lookup; an empty value when the header is absent.
    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
};

// What the server answers: a complete response, or one of the misbehaviours clients meet.
struct HttpTestResponse
{
    enum class Delivery {
        Complete,     // Content-Length and the whole body
        Chunked,      // Transfer-Encoding: chunked, the body in several chunks
        NeverAnswer,  // read the request, then keep the connection open without a word
        ResetMidBody, // announce the whole body, send half of it, then reset the connection
        Trickle,      // announce the whole body, then send it one byte every 100 ms
    };

    int status = 200;
    QByteArray reason; // empty: the standard phrase for the status
    HttpHeaderList headers;
    QByteArray body;
    Delivery delivery = Delivery::Complete;

    static HttpTestResponse ok(const QByteArray &body,
                               const QByteArray &contentType = QByteArrayLiteral("application/rss+xml"));
    // An error page in HTML, as web servers send them.
    static HttpTestResponse htmlError(int status);
    static HttpTestResponse redirect(const QByteArray &location, int status = 302);
    static HttpTestResponse unauthorized(const QByteArray &realm = QByteArrayLiteral("feeds"));

    HttpTestResponse withHeader(const QByteArray &name, const QByteArray &value) const;
    HttpTestResponse withDelivery(Delivery how) const;
    // The body compressed with gzip and marked with Content-Encoding: gzip.
    HttpTestResponse gzipped() const;
};

// A small HTTP/1.1 server on 127.0.0.1 (a free port) for tests and benchmarks: responses by path,
// keep-alive, many connections at once, and a record of every request.
class HttpTestServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<HttpTestResponse(const HttpTestRequest &)>;

    explicit HttpTestServer(QObject *parent = nullptr);
    ~HttpTestServer() override;

    bool isListening() const;
    quint16 port() const;
    // http://127.0.0.1:<port><path>; another host name reaches the same server under another name.
    QUrl url(const QString &path, const QString &host = QStringLiteral("127.0.0.1")) const;

    // Serves response at path (query ignored) until replaced; a later call changes what is served.
    void setResponse(const QByteArray &path, const HttpTestResponse &response);
    void setHandler(const QByteArray &path, Handler handler);
    void removeRoute(const QByteArray &path);

    // A handler that answers response with the right Basic credentials and 401 otherwise.
    static Handler basicAuth(const QByteArray &user, const QByteArray &password, const HttpTestResponse &response);
    // A handler that answers response with its ETag and Last-Modified, and "304 Not Modified"
    // to a request that sends either of them back.
    static Handler conditional(const HttpTestResponse &response, const QByteArray &etag,
                               const QByteArray &lastModified);

    QList<HttpTestRequest> requests() const { return m_requests; }
    QList<HttpTestRequest> requests(const QByteArray &path) const;
    void clearRequests() { m_requests.clear(); }
    int connectionCount() const { return m_connectionCount; }

Q_SIGNALS:
    void requestReceived(const HttpTestRequest &request);

private:
    struct Connection
    {
        QByteArray buffer;
        bool silenced = false;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    bool takeRequest(QByteArray &buffer, HttpTestRequest &request, bool &malformed) const;
    HttpTestResponse respond(const HttpTestRequest &request) const;
    void send(QTcpSocket *socket, const HttpTestResponse &response, bool closeAfter);

    QTcpServer *m_server;
    QHash<QByteArray, Handler> m_routes;
    QHash<QTcpSocket *, Connection> m_connections;
    QList<HttpTestRequest> m_requests;
    int m_connectionCount = 0;
};
