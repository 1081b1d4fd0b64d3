#include "model/SubLink.h"

#include "model/RSSItem.h"

const EntityDescription &SubLink::entityDescription()
{
    static const EntityDescription entity = [] {
        EntityDescription description;
        description.table = QStringLiteral("SubLink");
        description.create = [](ObjectContext *context) -> std::unique_ptr<Record> {
            return std::make_unique<SubLink>(context);
        };
        description.attributes = {
            attribute("link", &SubLink::m_link, &SubLink::setLink),
            attribute("text", &SubLink::m_text, &SubLink::setText),
        };
        description.parentEntity = &RSSItem::entityDescription;
        description.parentColumn = QStringLiteral("item");
        description.parent = [](const Record &record) -> Record * {
            return static_cast<const SubLink &>(record).m_owner;
        };
        return description;
    }();
    return entity;
}
