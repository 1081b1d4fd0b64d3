#pragma once

#include <QList>
#include <QObject>

class QSocketNotifier;

// Turns Unix signals (SIGTERM, SIGINT, SIGHUP, ...) into a Qt signal on the main thread.
// The handler itself only writes the signal number to a socket pair, which is safe inside a
// signal handler; a socket notifier reads it back in the event loop, where Qt may be used.
// One watcher at a time; the default actions come back when it is destroyed.
class UnixSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignalWatcher(const QList<int> &signalNumbers, QObject *parent = nullptr);
    ~UnixSignalWatcher() override;

    bool isWatching() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void received(int signalNumber);

private:
    void onReadable();

    QList<int> m_signalNumbers;
    QSocketNotifier *m_notifier = nullptr;
};
