#pragma once

#include <QtGlobal>

#include <chrono>

// How much one download may take, in bytes and in time. A value handed to each download by the
// feed or the discovery that makes it, so that a test can tighten the limits of its own downloads
// without changing anyone else's.
struct DownloadLimits
{
    // Bodies larger than this end the download as a failure instead of filling memory.
    qint64 maximumBodySize = 64 * 1024 * 1024;
    // How long a transfer may go without receiving anything before it is abandoned.
    std::chrono::milliseconds transferTimeout = std::chrono::seconds(60);
    // How long a download may take in all. The transfer timeout alone lets a server that sends a
    // byte now and then hold a download, and with it a check of all feeds, for ever.
    std::chrono::milliseconds totalTimeout = std::chrono::seconds(120);
};
