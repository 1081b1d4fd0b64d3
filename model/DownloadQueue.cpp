#include "model/DownloadQueue.h"

#include "model/FeedDownload.h"

#include <utility>

DownloadQueue &DownloadQueue::shared()
{
    // Never destroyed: a download freed as the program exits still leaves it.
    static auto *queue = new DownloadQueue;
    return *queue;
}

void DownloadQueue::enqueue(FeedDownload *download)
{
    if (std::exchange(m_making, false)) {
        m_waiting.prepend({download, nullptr, nullptr});
    } else {
        m_waiting.append({download, nullptr, nullptr});
    }
    sendWaiting();
}

void DownloadQueue::enqueue(QObject *owner, std::function<void()> make)
{
    m_waiting.append({nullptr, owner, std::move(make)});
    sendWaiting();
}

void DownloadQueue::leave(FeedDownload *download)
{
    m_waiting.removeIf([download](const Place &place) { return place.download == download; });
    if (m_sending.removeAll(download) > 0) {
        sendWaiting();
    }
}

void DownloadQueue::leave(QObject *owner)
{
    m_waiting.removeIf([owner](const Place &place) { return place.make && place.owner == owner; });
}

void DownloadQueue::sendWaiting()
{
    while (m_sending.size() < Slots && !m_waiting.isEmpty()) {
        Place next = m_waiting.takeFirst();
        if (FeedDownload *download = next.download) {
            m_sending.append(download);
            download->send();
        } else if (next.make && next.owner) {
            // The download make starts comes back through enqueue and is sent from there.
            m_making = true;
            next.make();
            m_making = false;
        }
        // A download or owner freed while it waited left its place empty.
    }
}
