#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

// Undoes a response's gzip or deflate Content-Encoding as the body arrives, keeping the
// document within a size limit. Qt would decode too, but says no more than "Decompression
// failed: " about a bomb or corrupt data.
class ContentDecoder
{
public:
    // Whether this class decodes the encoding a Content-Encoding header names.
    static bool decodes(const QByteArray &contentEncoding);

    explicit ContentDecoder(qint64 maximumSize);
    ~ContentDecoder();
    ContentDecoder(const ContentDecoder &) = delete;
    ContentDecoder &operator=(const ContentDecoder &) = delete;

    enum class Result { Decoded, TooLarge, Corrupt };

    // Appends the decoded form of data to *document, but never more than the limit allows.
    // For corrupt data errorString() gives zlib's reason.
    Result decode(QByteArrayView data, QByteArray *document);
    // Whether the compressed stream has ended; a body that stops short of that is truncated.
    bool isComplete() const { return m_complete; }
    QString errorString() const { return m_errorString; }

private:
    struct Stream;

    std::unique_ptr<Stream> m_stream;
    qint64 m_maximumSize;
    bool m_complete = false;
    QString m_errorString;
};
