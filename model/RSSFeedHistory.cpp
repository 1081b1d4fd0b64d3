#include "model/RSSFeed.h"

#include <QUrl>

#include <algorithm>

#include "model/FeedEvents.h"
#include "model/OpenPolicy.h"
#include "model/RSSItem.h"
#include "platform/Opener.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "store/ObjectContext.h"

namespace {

// Read as a signed 32-bit preference but compared unsigned: a negative limit means no limit.
quint32 historyLimit()
{
    return quint32(UserDefaults::standardUserDefaults()->integerForKey(Preferences::maximumEntryHistoryCount));
}

bool hidesTopEntries()
{
    return UserDefaults::standardUserDefaults()->boolForKey(Preferences::hideTopEntriesFromHistory);
}

} // namespace

void RSSFeed::cleanupOldItems()
{
    const quint32 limit = historyLimit();
    if (quint32(m_feedEntries.size()) <= limit) {
        return;
    }
    const QList<RSSItem *> sorted = RSSItem::newestFirst(m_feedEntries);
    const QList<RSSItem *> oldest = sorted.mid(qsizetype(limit));
    for (RSSItem *entry : oldest) {
        entry->removePageCache();
    }
    removeFeedEntries(QSet<RSSItem *>(oldest.cbegin(), oldest.cend()));
    Q_EMIT FeedEvents::of(managedObjectContext())->updateMenus();
}

std::optional<qsizetype> RSSFeed::entryCount() const
{
    ObjectContext *context = managedObjectContext();
    if (context->loadsDestinations()) {
        return m_feedEntries.size();
    }
    const std::optional<qint64> stored = context->countDestinations(*this, entityDescription().relationships.front());
    return stored ? std::optional<qsizetype>(qsizetype(*stored)) : std::nullopt;
}

void RSSFeed::fireEntryFaults() const
{
    managedObjectContext()->fireFaults(*this, entityDescription().relationships.front());
}

QSet<QString> RSSFeed::cachedIDs() const
{
    QSet<QString> identifiers;
    for (const RSSItem *entry : m_feedEntries) {
        if (const std::optional<QString> identifier = entry->cachedID()) {
            identifiers.insert(*identifier);
        }
    }
    return identifiers;
}

QList<RSSItem *> RSSFeed::firstFeedItems(quint32 count) const
{
    if (!showInRecentList()) {
        return {};
    }
    if (!m_newestEntries || m_newestEntries->first != count) {
        m_newestEntries.emplace(count, RSSItem::newestFirst(m_feedEntries, qsizetype(count)));
    }
    return m_newestEntries->second;
}

QString RSSFeed::displayName() const
{
    // An empty name or address would make an item without a title, which nobody could pick out.
    if (m_name && !m_name->isEmpty()) {
        return *m_name;
    }
    if (m_url && !m_url->isEmpty()) {
        return *m_url;
    }
    return QStringLiteral("Feed");
}

QString RSSFeed::feedMenuTitle() const
{
    return m_didConnect ? displayName() : QStringLiteral("-%1").arg(displayName());
}

QList<RSSItem *> RSSFeed::historyEntries(const QSet<RSSItem *> &hiddenEntries) const
{
    QList<RSSItem *> entries = m_feedEntries;
    if (hidesTopEntries()) {
        entries.removeIf([&hiddenEntries](RSSItem *entry) { return hiddenEntries.contains(entry); });
    }
    return entries;
}

bool RSSFeed::hasHistoryEntries(const QSet<RSSItem *> &hiddenEntries) const
{
    // Asked for every feed at every rebuild: the answer is known at the first entry shown.
    if (!hidesTopEntries()) {
        return !m_feedEntries.isEmpty();
    }
    return std::any_of(m_feedEntries.cbegin(), m_feedEntries.cend(),
                       [&hiddenEntries](RSSItem *entry) { return !hiddenEntries.contains(entry); });
}

std::unique_ptr<Menu> RSSFeed::historyMenu(const QSet<RSSItem *> &hiddenEntries) const
{
    auto menu = std::make_unique<Menu>();
    menu->title = feedMenuTitle();
    fireEntryFaults();
    const QList<RSSItem *> entries = RSSItem::newestFirst(historyEntries(hiddenEntries), qsizetype(historyLimit()));
    menu->items.reserve(size_t(entries.size()));
    for (const RSSItem *entry : entries) {
        menu->items.push_back(entry->menuItem());
    }
    return menu;
}

MenuItem RSSFeed::feedMenuItem(const QSet<RSSItem *> &hiddenEntries, SubmenuFill fill) const
{
    MenuItem item;
    item.title = feedMenuTitle();
    item.action = QStringLiteral("openFeed");
    item.target = const_cast<RSSFeed *>(this);
    item.perform = performOnRecord(this, &RSSFeed::openFeed);
    // Without entries to list the item opens the feed's site when chosen.
    if (!hasHistoryEntries(hiddenEntries)) {
        return item;
    }
    if (fill == SubmenuFill::Now) {
        item.submenu = historyMenu(hiddenEntries);
    } else {
        // Built from the history as it is when the submenu opens: a save in between may have
        // freed entries. The hidden entries are only compared, never followed.
        item.fillSubmenu = [feed = QPointer<const RSSFeed>(this), hiddenEntries] {
            return feed ? feed->historyMenu(hiddenEntries) : std::make_unique<Menu>();
        };
    }
    return item;
}

void RSSFeed::openFeed() const
{
    if (!m_link) {
        return;
    }
    const QUrl url(*m_link);
    if (OpenPolicy::isWebPage(url)) {
        Opener::shared()->openUrl(url);
    }
}
