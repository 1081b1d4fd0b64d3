#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Reads files named by the user or by a feed address without ever waiting on them: a FIFO
// or a device would block the opening thread (the main one) until a writer appears, and
// then never end.
namespace RegularFile {

// The first maximumSize bytes of the regular file at path. Anything else, and a file that
// cannot be opened or read, gives nothing and a sentence in *errorString: "Error opening
// <path>: <reason>", "Not a regular file: <path>" or "Error reading <path>: <reason>".
std::optional<QByteArray> read(const QString &path, qint64 maximumSize, QString *errorString);

} // namespace RegularFile
