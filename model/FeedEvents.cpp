#include "model/FeedEvents.h"

#include "store/ObjectContext.h"

FeedEvents::FeedEvents(ObjectContext *context)
    : QObject(context)
{
}

FeedEvents *FeedEvents::of(ObjectContext *context)
{
    if (auto *events = context->findChild<FeedEvents *>(QString(), Qt::FindDirectChildrenOnly)) {
        return events;
    }
    return new FeedEvents(context);
}
