#pragma once

#include <QList>
#include <QUrl>

#include "platform/Opener.h"

// Records the URLs the program would open, installed for the lifetime of the object.
class RecordingOpener : public Opener
{
public:
    RecordingOpener() { Opener::setShared(this); }
    ~RecordingOpener() override { Opener::setShared(nullptr); }

    void openUrl(const QUrl &url) override { opened.append(url); }

    QList<QUrl> opened;
};
