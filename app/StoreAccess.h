#pragma once

#include <QList>

#include <optional>

#include "app/CommandResult.h"

class ObjectContext;
class RSSFeed;
class Rss_Brevlin_AppDelegate;

// The store as the commands that read or edit it see it: opened through the application
// delegate (whose feeds, in a command's process, never check themselves, so that what is
// listed and what is saved back are the stored values and nothing is sent over the network).
class StoreAccess
{
public:
    // What the feeds bring with them: listings need no entry, so they load none.
    enum class Reach { FeedsAndHistories, FeedsOnly };
    explicit StoreAccess(Rss_Brevlin_AppDelegate *delegate, Reach reach = Reach::FeedsAndHistories);

    // The feeds in the order the program lists them (by name); nothing when the store
    // could not be opened or read, and result() then says why.
    std::optional<QList<RSSFeed *>> feeds();
    ObjectContext *context() const { return m_context; }
    // Writes every change in one transaction.
    bool save();
    CommandResult result() const { return m_result; }
    // The failure of a read that did not get what it asked, said as the context says it.
    CommandResult readFailure() const;

private:
    ObjectContext *m_context = nullptr;
    CommandResult m_result;
};
