#include "platform/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::optional<QByteArray> fail(QString *errorString, const QString &message)
{
    if (errorString) {
        *errorString = message;
    }
    return std::nullopt;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Closes the descriptor on every way out.
class Descriptor
{
public:
    explicit Descriptor(int descriptor)
        : m_descriptor(descriptor)
    {
    }
    ~Descriptor()
    {
        if (m_descriptor >= 0) {
            ::close(m_descriptor);
        }
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

} // namespace

namespace RegularFile {

std::optional<QByteArray> read(const QString &path, qint64 maximumSize, QString *errorString)
{
    // Without O_NONBLOCK, opening a FIFO for reading waits for a writer. Whether the file is
    // regular is asked of the opened descriptor, so that it cannot be swapped in between.
    const Descriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        return fail(errorString, QStringLiteral("Error opening %1: %2").arg(path, systemError(errno)));
    }
    struct stat status = {};
    if (::fstat(file.get(), &status) != 0) {
        return fail(errorString, QStringLiteral("Error opening %1: %2").arg(path, systemError(errno)));
    }
    if (!S_ISREG(status.st_mode)) {
        return fail(errorString, QStringLiteral("Not a regular file: %1").arg(path));
    }
    QByteArray data(qMin<qint64>(status.st_size, maximumSize), Qt::Uninitialized);
    qint64 total = 0;
    // The size may have changed since fstat: read until the end or the limit, whichever is first.
    while (total < maximumSize) {
        if (total == data.size()) {
            data.resize(qMin<qint64>(qMax<qint64>(2 * total, 64 * 1024), maximumSize));
        }
        const ssize_t count = ::read(file.get(), data.data() + total, size_t(data.size() - total));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return fail(errorString, QStringLiteral("Error reading %1: %2").arg(path, systemError(errno)));
        }
        if (count == 0) {
            break;
        }
        total += count;
    }
    data.resize(total);
    return data;
}

} // namespace RegularFile
