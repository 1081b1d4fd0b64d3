#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

#include "model/FeedDownload.h"

// What a feed learns from its server during one run and never stores: the validators of the
// last document it parsed, and until when the server asked to be left alone. Both belong to one
// address and one set of credentials; under others the feed starts afresh.
class FeedCheckMemory
{
public:
    // Forgets what was learnt under another address or other credentials, so that the first
    // check after a change asks for the whole document and is not held back.
    void keepFor(const std::optional<QString> &url, const std::optional<QString> &login,
                 const std::optional<QString> &password);

    // Whether checks of this address with these credentials must wait until later.
    bool holdsBack(const std::optional<QString> &url, const std::optional<QString> &login,
                   const std::optional<QString> &password, const QDateTime &now) const;

    HttpValidators validators() const { return m_validators; }
    void setValidators(const HttpValidators &validators) { m_validators = validators; }
    void setRetryAfter(const std::optional<QDateTime> &moment) { m_retryAfter = moment; }

private:
    bool isFor(const std::optional<QString> &url, const std::optional<QString> &login,
               const std::optional<QString> &password) const;

    std::optional<QString> m_url;
    std::optional<QString> m_login;
    std::optional<QString> m_password;
    HttpValidators m_validators;
    std::optional<QDateTime> m_retryAfter;
};
