#include "HttpTestServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

#include <sys/socket.h>
#include <zlib.h>

#include "model/NetworkAccess.h"

namespace {

// A request head larger than this is garbage, not a request worth waiting for.
constexpr qsizetype MaximumHeadSize = 1024 * 1024;

QByteArray gzip(const QByteArray &data)
{
    z_stream stream{};
    // 16 added to the window bits asks zlib for a gzip wrapper instead of a zlib one.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        qFatal("HttpTestServer: deflateInit2 failed");
    }
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        qFatal("HttpTestServer: deflate failed");
    }
    out.truncate(qsizetype(stream.total_out));
    return out;
}

// Makes the kernel answer the next close with a reset instead of an orderly shutdown.
void resetOnClose(QTcpSocket *socket)
{
    const linger immediate{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediate, sizeof immediate);
}

QByteArray chunked(const QByteArray &body)
{
    QByteArray out;
    const qsizetype chunkSize = qMax<qsizetype>(1, body.size() / 3 + 1);
    for (qsizetype offset = 0; offset < body.size(); offset += chunkSize) {
        const QByteArray chunk = body.mid(offset, chunkSize);
        out += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// Keeps the connection busy without ever going silent for long, the way a hostile or
// overloaded server can hold a client that only times out on silence.
void trickle(QTcpSocket *socket, const QByteArray &body)
{
    auto *timer = new QTimer(socket);
    auto sent = std::make_shared<qsizetype>(0);
    QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, body, sent] {
        if (*sent >= body.size()) {
            timer->stop();
            return;
        }
        socket->write(body.mid((*sent)++, 1));
    });
    timer->start(100);
}

} // namespace

QByteArray HttpTestRequest::path() const
{
    const qsizetype query = target.indexOf('?');
    return query < 0 ? target : target.left(query);
}

QByteArray HttpTestRequest::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (name.compare(key, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

bool HttpTestRequest::hasHeader(QByteArrayView name) const
{
    for (const auto &header : headers) {
        if (name.compare(header.first, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

HttpTestResponse HttpTestResponse::ok(const QByteArray &body, const QByteArray &contentType)
{
    HttpTestResponse response;
    response.headers.append({QByteArrayLiteral("Content-Type"), contentType});
    response.body = body;
    return response;
}

HttpTestResponse HttpTestResponse::htmlError(int status)
{
    const QByteArray title = QByteArray::number(status) + ' ' + NetworkAccess::reasonPhrase(status);
    HttpTestResponse response = ok("<!DOCTYPE html>\n<html><head><title>" + title + "</title></head><body><h1>" + title
                                       + "</h1></body></html>\n",
                                   QByteArrayLiteral("text/html; charset=utf-8"));
    response.status = status;
    return response;
}

HttpTestResponse HttpTestResponse::redirect(const QByteArray &location, int status)
{
    HttpTestResponse response = htmlError(status);
    response.headers.append({QByteArrayLiteral("Location"), location});
    return response;
}

HttpTestResponse HttpTestResponse::unauthorized(const QByteArray &realm)
{
    return htmlError(401).withHeader("WWW-Authenticate", "Basic realm=\"" + realm + '"');
}

HttpTestResponse HttpTestResponse::withHeader(const QByteArray &name, const QByteArray &value) const
{
    HttpTestResponse response = *this;
    response.headers.append({name, value});
    return response;
}

HttpTestResponse HttpTestResponse::withDelivery(Delivery how) const
{
    HttpTestResponse response = *this;
    response.delivery = how;
    return response;
}

HttpTestResponse HttpTestResponse::gzipped() const
{
    HttpTestResponse response = withHeader("Content-Encoding", "gzip");
    response.body = gzip(body);
    return response;
}

HttpTestServer::HttpTestServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpTestServer::onNewConnection);
    if (!m_server->listen(QHostAddress::LocalHost)) {
        qWarning("HttpTestServer: cannot listen: %s", qPrintable(m_server->errorString()));
    }
}

HttpTestServer::~HttpTestServer()
{
    for (QTcpSocket *socket : m_connections.keys()) {
        socket->disconnect(this);
        socket->abort();
    }
}

bool HttpTestServer::isListening() const
{
    return m_server->isListening();
}

quint16 HttpTestServer::port() const
{
    return m_server->serverPort();
}

QUrl HttpTestServer::url(const QString &path, const QString &host) const
{
    return QUrl(QStringLiteral("http://%1:%2%3").arg(host).arg(port()).arg(path));
}

void HttpTestServer::setResponse(const QByteArray &path, const HttpTestResponse &response)
{
    setHandler(path, [response](const HttpTestRequest &) { return response; });
}

void HttpTestServer::setHandler(const QByteArray &path, Handler handler)
{
    m_routes.insert(path, std::move(handler));
}

void HttpTestServer::removeRoute(const QByteArray &path)
{
    m_routes.remove(path);
}

HttpTestServer::Handler HttpTestServer::basicAuth(const QByteArray &user, const QByteArray &password,
                                                  const HttpTestResponse &response)
{
    const QByteArray expected = "Basic " + (user + ':' + password).toBase64();
    return [expected, response](const HttpTestRequest &request) {
        return request.header("Authorization") == expected ? response : HttpTestResponse::unauthorized();
    };
}

HttpTestServer::Handler HttpTestServer::conditional(const HttpTestResponse &response, const QByteArray &etag,
                                                    const QByteArray &lastModified)
{
    const HttpTestResponse full = response.withHeader("ETag", etag).withHeader("Last-Modified", lastModified);
    HttpTestResponse unchanged;
    unchanged.status = 304;
    unchanged.headers = {{"ETag", etag}};
    return [full, unchanged, etag, lastModified](const HttpTestRequest &request) {
        const bool matches = request.header("If-None-Match") == etag
            || (!request.hasHeader("If-None-Match") && request.header("If-Modified-Since") == lastModified);
        return matches ? unchanged : full;
    };
}

QList<HttpTestRequest> HttpTestServer::requests(const QByteArray &path) const
{
    QList<HttpTestRequest> matching;
    for (const HttpTestRequest &request : m_requests) {
        if (request.path() == path) {
            matching.append(request);
        }
    }
    return matching;
}

void HttpTestServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        ++m_connectionCount;
        // Qt writes the head and the body in separate segments; with Nagle's algorithm the body
        // would then wait for the client's delayed acknowledgement, some 40 ms per response.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_connections.insert(socket, Connection());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void HttpTestServer::onReadyRead(QTcpSocket *socket)
{
    auto connection = m_connections.find(socket);
    if (connection == m_connections.end()) {
        return;
    }
    if (connection->silenced) {
        socket->readAll();
        return;
    }
    connection->buffer += socket->readAll();
    HttpTestRequest request;
    bool malformed = false;
    // Clients may pipeline, so answer every complete request in the buffer in order.
    while (takeRequest(connection->buffer, request, malformed)) {
        m_requests.append(request);
        Q_EMIT requestReceived(request);
        const HttpTestResponse response = respond(request);
        if (response.delivery == HttpTestResponse::Delivery::NeverAnswer) {
            connection->silenced = true;
            return;
        }
        const bool close = request.header("Connection").compare("close", Qt::CaseInsensitive) == 0;
        send(socket, response, close);
        if (close || response.delivery == HttpTestResponse::Delivery::ResetMidBody) {
            return;
        }
    }
    if (malformed) {
        send(socket, HttpTestResponse::htmlError(400), true);
    }
}

bool HttpTestServer::takeRequest(QByteArray &buffer, HttpTestRequest &request, bool &malformed) const
{
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        malformed = buffer.size() > MaximumHeadSize;
        return false;
    }
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3) {
        malformed = true;
        return false;
    }
    request = HttpTestRequest();
    request.method = requestLine.at(0);
    request.target = requestLine.at(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon > 0) {
            request.headers.append({lines.at(i).left(colon).trimmed(), lines.at(i).mid(colon + 1).trimmed()});
        }
    }
    const qsizetype bodyLength = request.header("Content-Length").toLongLong();
    if (buffer.size() < headEnd + 4 + bodyLength) {
        return false;
    }
    request.body = buffer.mid(headEnd + 4, bodyLength);
    buffer.remove(0, headEnd + 4 + bodyLength);
    return true;
}

HttpTestResponse HttpTestServer::respond(const HttpTestRequest &request) const
{
    const auto route = m_routes.constFind(request.path());
    return route == m_routes.constEnd() ? HttpTestResponse::htmlError(404) : (*route)(request);
}

void HttpTestServer::send(QTcpSocket *socket, const HttpTestResponse &response, bool closeAfter)
{
    using Delivery = HttpTestResponse::Delivery;
    const QByteArray reason =
        response.reason.isEmpty() ? NetworkAccess::reasonPhrase(response.status) : response.reason;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reason + "\r\n";
    for (const auto &[name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    if (response.delivery == Delivery::Chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    } else {
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    }
    if (closeAfter) {
        head += "Connection: close\r\n";
    }
    head += "\r\n";
    socket->write(head);

    switch (response.delivery) {
    case Delivery::Complete:
        socket->write(response.body);
        break;
    case Delivery::Chunked:
        socket->write(chunked(response.body));
        break;
    case Delivery::ResetMidBody:
        socket->write(response.body.left(response.body.size() / 2));
        socket->flush();
        resetOnClose(socket);
        socket->abort();
        return;
    case Delivery::NeverAnswer:
        return;
    case Delivery::Trickle:
        trickle(socket, response.body);
        return;
    }
    if (closeAfter) {
        socket->disconnectFromHost();
    }
}
