#include "app/StoreAccess.h"

#include "app/Rss_Brevlin_AppDelegate.h"
#include "model/FeedPasswords.h"
#include "model/RSSFeed.h"
#include "store/ObjectContext.h"

StoreAccess::StoreAccess(Rss_Brevlin_AppDelegate *delegate, Reach reach)
{
    ObjectContext *context = delegate->managedObjectContext();
    // The delegate has already reported a store that would not open.
    if (!delegate->hasStore()) {
        m_result = CommandResult::failure();
        return;
    }
    m_context = context;
    m_context->setLoadsDestinations(reach == Reach::FeedsAndHistories);
}

std::optional<QList<RSSFeed *>> StoreAccess::feeds()
{
    if (!m_context) {
        return std::nullopt;
    }
    std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(m_context);
    if (!feeds) {
        m_result = readFailure();
    }
    return feeds;
}

CommandResult StoreAccess::readFailure() const
{
    return CommandResult::failure(QStringLiteral("cannot read the store: %1").arg(m_context->errorString()));
}

bool StoreAccess::save()
{
    if (!m_context) {
        return false;
    }
    // A command ends with this save: a password edited in it goes to the keyring first, so that
    // one the keyring confirmed never reaches the file. The running program saves again instead.
    if (!m_context->checksFeeds()) {
        FeedPasswords::instance()->waitForChanges();
    }
    if (!m_context->save()) {
        m_result = CommandResult::failure(QStringLiteral("cannot save the store: %1").arg(m_context->errorString()));
        return false;
    }
    return true;
}
