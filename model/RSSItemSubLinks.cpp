#include "model/RSSItem.h"

#include "model/SubLink.h"
#include "store/ObjectContext.h"

void RSSItem::createSubLinksFromString(const std::optional<QString> &)
{
}

void RSSItem::addSubLinkEntry(std::unique_ptr<SubLink> subLink)
{
    willChangeValueForKey(QStringLiteral("subLinks"));
    subLink->m_owner = this;
    SubLink *added = subLink.get();
    m_subLinks.push_back(std::move(subLink));
    didChangeValueForKey(QStringLiteral("subLinks"), SetMutation::Union, {added});
}
