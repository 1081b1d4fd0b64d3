#include "model/ContentDecoder.h"

#include <zlib.h>

struct ContentDecoder::Stream
{
    z_stream zlib = {};
    bool initialized = false;

    ~Stream()
    {
        if (initialized) {
            inflateEnd(&zlib);
        }
    }
};

bool ContentDecoder::decodes(const QByteArray &contentEncoding)
{
    const QByteArray encoding = contentEncoding.trimmed().toLower();
    return encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate";
}

ContentDecoder::ContentDecoder(qint64 maximumSize)
    : m_stream(std::make_unique<Stream>())
    , m_maximumSize(maximumSize)
{
    // 32 added to the window bits lets zlib tell a gzip wrapper from a zlib one by itself, so
    // "deflate" (zlib-wrapped, as HTTP defines it) needs no case of its own.
    m_stream->initialized = inflateInit2(&m_stream->zlib, 32 + MAX_WBITS) == Z_OK;
}

ContentDecoder::~ContentDecoder() = default;

ContentDecoder::Result ContentDecoder::decode(QByteArrayView data, QByteArray *document)
{
    if (!m_stream->initialized) {
        m_errorString = QStringLiteral("zlib could not start");
        return Result::Corrupt;
    }
    z_stream &zlib = m_stream->zlib;
    zlib.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    zlib.avail_in = uInt(data.size());
    // One byte over the limit tells a document that is too large from one exactly at it.
    const qint64 capacity = m_maximumSize + 1;
    // Whatever follows the end of the stream (padding some servers add) is ignored.
    while (zlib.avail_in > 0 && !m_complete && document->size() < capacity) {
        const qsizetype oldSize = document->size();
        const qsizetype room = qMin<qint64>(qMax<qsizetype>(4 * data.size(), 64 * 1024), capacity - oldSize);
        document->resize(oldSize + room);
        zlib.next_out = reinterpret_cast<Bytef *>(document->data() + oldSize);
        zlib.avail_out = uInt(room);
        const int status = inflate(&zlib, Z_NO_FLUSH);
        document->resize(oldSize + room - qsizetype(zlib.avail_out));
        if (status == Z_STREAM_END) {
            m_complete = true;
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            m_errorString = zlib.msg ? QString::fromLatin1(zlib.msg) : QStringLiteral("corrupt data");
            return Result::Corrupt;
        }
    }
    return document->size() > m_maximumSize ? Result::TooLarge : Result::Decoded;
}
