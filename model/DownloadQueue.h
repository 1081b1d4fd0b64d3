#pragma once

#include <QList>
#include <QPointer>

class FeedDownload;

// The downloads of the process share a few slots; the rest wait their turn in order. A check of
// 2,000 feeds otherwise asked Qt for 2,000 requests at once: Qt kept them all in memory (about
// 14 KB each) while it sent six at a time, and the requests at the end of its queue ran out of
// their time before they were even sent.
class DownloadQueue
{
public:
    // More than the six connections Qt opens to one host, so that feeds of several hosts still
    // download side by side.
    static constexpr int Slots = 8;

    static DownloadQueue &shared();

    // Sends the download now when a slot is free, else once one is.
    void enqueue(FeedDownload *download);
    // The download ended or was cancelled: its slot, or its place in the queue, is free again.
    void leave(FeedDownload *download);

private:
    void sendWaiting();

    QList<QPointer<FeedDownload>> m_waiting;
    QList<FeedDownload *> m_sending;
};
