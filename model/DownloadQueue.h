#pragma once

#include <QList>
#include <QPointer>

#include <functional>

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
    // A place in the line for a download not made yet, so that those waiting cost nothing: make
    // runs when the place's turn comes, and a download it starts then is sent at once. The place
    // goes with its owner.
    void enqueue(QObject *owner, std::function<void()> make);
    // The download ended or was cancelled: its slot, or its place in the queue, is free again.
    void leave(FeedDownload *download);
    // The owner's places that wait for their turn are given up.
    void leave(QObject *owner);

private:
    struct Place
    {
        QPointer<FeedDownload> download;
        QPointer<QObject> owner;
        std::function<void()> make;
    };

    void sendWaiting();

    QList<Place> m_waiting;
    QList<FeedDownload *> m_sending;
    // The first download started by a place's make goes to the head of the line.
    bool m_making = false;
};
