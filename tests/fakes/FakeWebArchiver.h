#pragma once

#include <QList>
#include <QPointer>

#include "platform/WebArchiveJob.h"
#include "platform/WebArchiver.h"

// Records the pages the program asks to archive, installed for the lifetime of the object; a
// test answers through each request's job, which is gone once its owner dropped it.
class FakeWebArchiver : public WebArchiver
{
public:
    struct Request
    {
        QUrl url;
        QString path;
        QPointer<WebArchiveJob> job;
    };

    FakeWebArchiver() { WebArchiver::setShared(this); }
    ~FakeWebArchiver() override { WebArchiver::setShared(nullptr); }

    std::unique_ptr<WebArchiveJob> archive(const QUrl &url, const QString &path) override
    {
        auto job = std::make_unique<WebArchiveJob>();
        requests.append({url, path, job.get()});
        return job;
    }

    QList<Request> requests;
};
