#include "platform/UnixSignalWatcher.h"
#include "platform/PlatformLog.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end is read by the handler, so it lives in a plain global of a lock-free type.
int signalSockets[2] = {-1, -1};

void writeSignalNumber(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full socket means the main thread already has signals to read; dropping this one loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

UnixSignalWatcher::UnixSignalWatcher(const QList<int> &signalNumbers, QObject *parent)
    : QObject(parent)
    , m_signalNumbers(signalNumbers)
{
    if (signalSockets[0] != -1) {
        qCWarning(lcPlatform, "UnixSignalWatcher: another watcher is active");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalSockets) != 0) {
        qCWarning(lcPlatform, "UnixSignalWatcher: socketpair failed: %s", strerror(errno));
        signalSockets[0] = signalSockets[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignalWatcher::onReadable);
    struct sigaction action = {};
    action.sa_handler = writeSignalNumber;
    sigemptyset(&action.sa_mask);
    // Restarting keeps a slow system call elsewhere from failing with EINTR because of us.
    action.sa_flags = SA_RESTART;
    for (int signalNumber : m_signalNumbers) {
        ::sigaction(signalNumber, &action, nullptr);
    }
}

UnixSignalWatcher::~UnixSignalWatcher()
{
    if (!m_notifier) {
        return;
    }
    for (int signalNumber : m_signalNumbers) {
        ::signal(signalNumber, SIG_DFL);
    }
    delete m_notifier;
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}

void UnixSignalWatcher::onReadable()
{
    unsigned char byte = 0;
    while (::read(signalSockets[1], &byte, 1) == 1) {
        Q_EMIT received(byte);
    }
}
