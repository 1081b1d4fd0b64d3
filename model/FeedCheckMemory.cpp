#include "FeedCheckMemory.h"

void FeedCheckMemory::keepFor(const std::optional<QString> &url, const std::optional<QString> &login,
                              const std::optional<QString> &password)
{
    if (url == m_url && login == m_login && password == m_password) {
        return;
    }
    *this = FeedCheckMemory();
    m_url = url;
    m_login = login;
    m_password = password;
}
