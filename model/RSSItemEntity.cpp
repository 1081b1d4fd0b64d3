#include "model/RSSItem.h"

#include "model/RSSFeed.h"
#include "model/SubLink.h"
#include "store/ObjectContext.h"

const EntityDescription &RSSItem::entityDescription()
{
    static const EntityDescription entity = [] {
        EntityDescription description;
        description.table = QStringLiteral("RSSItem");
        description.create = [](ObjectContext *context) -> std::unique_ptr<Record> {
            return std::make_unique<RSSItem>(context);
        };
        description.attributes = {
            lazyAttribute("author", &RSSItem::details, &Details::author, &RSSItem::setAuthor, &RSSItem::author),
            attribute("date", &RSSItem::m_date, &RSSItem::setDate),
            lazyAttribute("title", &RSSItem::details, &Details::title, &RSSItem::setTitle, &RSSItem::title),
            lazyAttribute("url", &RSSItem::details, &Details::url, &RSSItem::setUrl, &RSSItem::url),
            lazyAttribute("guid", &RSSItem::details, &Details::guid, &RSSItem::setGuid, &RSSItem::guid),
            StoredValue::describe<RSSItem, QByteArray>(
                "text", [](RSSItem &item) -> std::optional<QByteArray> & { return item.storedText(); },
                &RSSItem::setText, &RSSItem::text),
            sparseAttribute("cachedPath", &RSSItem::pageCache, &RSSItem::PageCache::path, &RSSItem::setCachedPath,
                            &RSSItem::cachedPath),
        };
        description.parentEntity = &RSSFeed::entityDescription;
        description.parentColumn = QStringLiteral("feed");
        description.parent = [](const Record &record) -> Record * {
            return static_cast<const RSSItem &>(record).m_feed;
        };
        description.identifierKey = QStringLiteral("guid");
        description.textTable = QStringLiteral("RSSItemText");
        description.textOwnerColumn = QStringLiteral("item");
        RelationshipDescription subLinks;
        subLinks.destination = &SubLink::entityDescription;
        subLinks.ordered = true;
        subLinks.owning = true;
        subLinks.lazy = true;
        subLinks.attach = [](Record &source, std::unique_ptr<Record> &destination) {
            auto &item = static_cast<RSSItem &>(source);
            std::unique_ptr<SubLink> subLink(static_cast<SubLink *>(destination.release()));
            subLink->m_owner = &item;
            item.details().subLinks.push_back(std::move(subLink));
        };
        subLinks.count = [](const Record &source) {
            return qsizetype(static_cast<const RSSItem &>(source).details().subLinks.size());
        };
        subLinks.at = [](const Record &source, qsizetype index) -> Record * {
            return static_cast<const RSSItem &>(source).details().subLinks.at(size_t(index)).get();
        };
        description.relationships.push_back(std::move(subLinks));
        return description;
    }();
    return entity;
}

RSSItem *RSSItem::insert(ObjectContext *context)
{
    return static_cast<RSSItem *>(context->insertObject(entityDescription()));
}

bool RSSItem::existsWithGuid(ObjectContext *context, const std::optional<QString> &guid)
{
    return context->hasObjectWithIdentifier(entityDescription(), guid);
}

void RSSItem::didSynchronizeWithStore()
{
    m_text.reset();
}
