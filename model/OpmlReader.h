#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

#include "model/Subscription.h"

// Reads the feeds of an OPML subscription list: every outline with an "xmlUrl", however
// deeply its folders nest, named by its "title" or else its "text".
class OpmlReader
{
public:
    // Files larger than this are not subscription lists; reading stops there.
    static constexpr qint64 MaximumFileSize = 32 * 1024 * 1024;

    // Gives nothing for bytes that are not an OPML document; *errorString then says why.
    static std::optional<QList<Subscription>> read(const QByteArray &data, QString *errorString);
    // The same for a file; an unreadable or oversized file also gives nothing.
    static std::optional<QList<Subscription>> readFile(const QString &path, QString *errorString);
    // The file's bytes, refused as readFile refuses them.
    static std::optional<QByteArray> readFileData(const QString &path, QString *errorString);
    // read(), with the failure naming the file the data came from.
    static std::optional<QList<Subscription>> readDocument(const QByteArray &data, const QString &path,
                                                           QString *errorString);
};
