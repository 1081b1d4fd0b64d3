#include "FeedCheckMemory.h"

void FeedCheckMemory::keepFor(const std::optional<QString> &url, const std::optional<QString> &login,
                              const std::optional<QString> &password)
{
    if (isFor(url, login, password)) {
        return;
    }
    *this = FeedCheckMemory();
    m_url = url;
    m_login = login;
    m_password = password;
}

bool FeedCheckMemory::holdsBack(const std::optional<QString> &url, const std::optional<QString> &login,
                                const std::optional<QString> &password, const QDateTime &now) const
{
    return m_retryAfter && now < *m_retryAfter && isFor(url, login, password);
}

bool FeedCheckMemory::isFor(const std::optional<QString> &url, const std::optional<QString> &login,
                            const std::optional<QString> &password) const
{
    return url == m_url && login == m_login && password == m_password;
}
