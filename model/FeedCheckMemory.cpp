#include "FeedCheckMemory.h"

void FeedCheckMemory::keepFor(const std::optional<QString> &url, const Credentials &credentials)
{
    if (url == m_url && credentials == m_credentials) {
        return;
    }
    *this = FeedCheckMemory();
    m_url = url;
    m_credentials = credentials;
}
