#include "model/RSSFeed.h"

#include <QUrl>

#include <algorithm>

#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "model/OpenPolicy.h"
#include "model/RSSItem.h"
#include "platform/Opener.h"

namespace {

QList<RSSItem *> newestFirst(QList<RSSItem *> entries)
{
    std::stable_sort(entries.begin(), entries.end(),
        [](const RSSItem *a, const RSSItem *b) { return a->dateCompare(*b) < 0; });
    return entries;
}

// Read as a signed 32-bit preference but compared unsigned: a negative limit means no limit.
quint32 historyLimit()
{
    return quint32(
        UserDefaults::standardUserDefaults()->integerForKey(Preferences::maximumEntryHistoryCount));
}

} // namespace

void RSSFeed::cleanupOldItems()
{
    const quint32 limit = historyLimit();
    if (quint32(m_feedEntries.size()) <= limit) {
        return;
    }
    const QList<RSSItem *> sorted = newestFirst(m_feedEntries);
    const QList<RSSItem *> oldest = sorted.mid(qsizetype(limit));
    for (RSSItem *entry : oldest) {
        entry->removePageCache();
    }
    removeFeedEntries(QSet<RSSItem *>(oldest.cbegin(), oldest.cend()));
    NotificationCenter::defaultCenter()->postNotificationName(Notifications::updateMenus);
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
    return newestFirst(m_feedEntries).mid(0, qsizetype(count));
}

MenuItem RSSFeed::feedMenuItem(const QSet<RSSItem *> &hiddenEntries) const
{
    // An empty name or address would make an item without a title, which nobody could pick out.
    QString title = QStringLiteral("Feed");
    if (m_name && !m_name->isEmpty()) {
        title = *m_name;
    } else if (m_url && !m_url->isEmpty()) {
        title = *m_url;
    }
    if (!m_didConnect) {
        // The hyphen marks a feed whose last check reached no document.
        title = QStringLiteral("-%1").arg(title);
    }

    QList<RSSItem *> entries = m_feedEntries;
    if (UserDefaults::standardUserDefaults()->boolForKey(Preferences::hideTopEntriesFromHistory)) {
        entries.removeIf([&hiddenEntries](RSSItem *entry) { return hiddenEntries.contains(entry); });
    }
    auto menu = std::make_unique<Menu>();
    menu->title = title;
    for (const RSSItem *entry : newestFirst(entries).mid(0, qsizetype(historyLimit()))) {
        menu->items.push_back(entry->menuItem());
    }

    MenuItem item;
    item.title = title;
    item.action = QStringLiteral("openFeed");
    item.target = const_cast<RSSFeed *>(this);
    item.perform = performOnRecord(this, &RSSFeed::openFeed);
    // Without entries to list the item opens the feed's site when chosen.
    if (!entries.isEmpty()) {
        item.submenu = std::move(menu);
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
