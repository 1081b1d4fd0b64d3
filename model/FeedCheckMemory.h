#pragma once

#include <QString>

#include <optional>

#include "model/FeedDownload.h"

// What a feed learns from its server during one run and never stores: the validators of the
// last document it parsed. They belong to one address and one set of credentials; under others
// the feed starts afresh.
class FeedCheckMemory
{
public:
    // Forgets what was learnt under another address or other credentials, so that the first
    // check after a change asks for the whole document.
    void keepFor(const std::optional<QString> &url, const Credentials &credentials);

    HttpValidators validators() const { return m_validators; }
    void setValidators(const HttpValidators &validators) { m_validators = validators; }

private:
    std::optional<QString> m_url;
    Credentials m_credentials;
    HttpValidators m_validators;
};
