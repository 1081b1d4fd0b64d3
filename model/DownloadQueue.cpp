#include "model/DownloadQueue.h"

#include "model/FeedDownload.h"

DownloadQueue &DownloadQueue::shared()
{
    // Never destroyed: a download freed as the program exits still leaves it.
    static auto *queue = new DownloadQueue;
    return *queue;
}

void DownloadQueue::enqueue(FeedDownload *download)
{
    m_waiting.append(download);
    sendWaiting();
}

void DownloadQueue::leave(FeedDownload *download)
{
    m_waiting.removeAll(download);
    if (m_sending.removeAll(download) > 0) {
        sendWaiting();
    }
}

void DownloadQueue::sendWaiting()
{
    while (m_sending.size() < Slots && !m_waiting.isEmpty()) {
        // A download freed while it waited left its place empty.
        if (FeedDownload *next = m_waiting.takeFirst()) {
            m_sending.append(next);
            next->send();
        }
    }
}
