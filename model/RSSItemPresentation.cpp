#include "model/RSSItem.h"

#include <algorithm>
#include <vector>

#include "model/OpenPolicy.h"
#include "model/RSSFeed.h"
#include "model/SubLink.h"
#include "platform/Opener.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "text/HtmlPlainText.h"

namespace {

bool hasTitle(const RSSItem &item)
{
    return item.title() && !item.title()->isEmpty();
}

// What the user reads for an entry: its title, or its address when the feed gave no title,
// so that no menu item or notification comes out blank.
QString shownTitle(const RSSItem &item)
{
    return hasTitle(item) ? *item.title() : item.url().value_or(QString());
}

// Trac and Twitter put the subject (a changeset, a poster's name) before the first colon of
// the title; an address standing in for a missing title is kept whole.
QString shownSubject(const RSSItem &item)
{
    const QString title = shownTitle(item);
    const qsizetype colon = hasTitle(item) ? title.indexOf(QLatin1Char(':')) : -1;
    return colon < 0 ? title : title.left(colon);
}

} // namespace

void RSSItem::setText(const std::optional<QString> &html)
{
    if (!html) {
        setPrimitiveText(std::nullopt);
        return;
    }
    // The sub-links made from the text join the stored ones.
    fireFault();
    const QString plain = plainTextFromHtml(*html);
    setPrimitiveText(plain);
    createSubLinksFromString(plain);
}

QString RSSItem::brevlinTitle() const
{
    const RSSFeed *owner = feed();
    if (owner && owner->isTracFeed()) {
        const QString subject = shownSubject(*this);
        return author() ? QStringLiteral("%1: %2").arg(subject, *author()) : subject;
    }
    if (owner && owner->isTwitterFeed()) {
        return QStringLiteral("Twitter: %1").arg(shownSubject(*this));
    }
    return shownTitle(*this);
}

QString RSSItem::brevlinDescription() const
{
    const QString body = text().value_or(QString());
    if (feed() && feed()->isTwitterFeed()) {
        // The poster's name stands before the first ": ", the message after it.
        const qsizetype separator = body.indexOf(QLatin1String(": "));
        if (separator >= 0) {
            return body.mid(separator + 2);
        }
    }
    return body;
}

MenuItem RSSItem::menuItem() const
{
    QString title = shownTitle(*this);
    if (feed() && feed()->isTracFeed()) {
        const qsizetype revision = title.indexOf(QLatin1String("Revision "));
        if (revision >= 0) {
            title.remove(revision, 9);
        }
    }
    MenuItem item;
    item.title = title;
    item.action = QStringLiteral("openFeed");
    // The menu hands its target back to the caller, who may change the record.
    item.target = const_cast<RSSItem *>(this);
    item.perform = performOnRecord(this, &RSSItem::openFeed);
    const std::vector<std::unique_ptr<SubLink>> &links = subLinks();
    if (!links.empty() && UserDefaults::standardUserDefaults()->boolForKey(Preferences::enableSubLinksInMenu)) {
        item.submenu = std::make_unique<Menu>();
        item.submenu->title = title;
        for (const std::unique_ptr<SubLink> &subLink : links) {
            item.submenu->items.push_back(subLink->subLinkMenuItem());
        }
    }
    return item;
}

void RSSItem::openFeed() const
{
    if (const std::optional<QString> path = cachedPath(); path && OpenPolicy::isCachedPage(*path)) {
        Opener::shared()->openUrl(QUrl::fromLocalFile(*path));
        return;
    }
    // A cached page that is gone, or a path outside the cache, is passed over for the address.
    const QUrl address(url().value_or(QString()));
    if (OpenPolicy::isWebPage(address)) {
        Opener::shared()->openUrl(address);
    }
}

QList<RSSItem *> RSSItem::newestFirst(QList<RSSItem *> entries, qsizetype count)
{
    const auto newer = [](const RSSItem *a, const RSSItem *b) { return a->dateCompare(*b) < 0; };
    if (count < 0 || count >= entries.size()) {
        std::stable_sort(entries.begin(), entries.end(), newer);
        return entries;
    }
    // Every rebuild of the menu takes a few entries of each feed: sorting whole histories each
    // time would cost the whole store. The position breaks ties, as the stable sort does.
    std::vector<std::pair<RSSItem *, qsizetype>> ranked;
    ranked.reserve(size_t(entries.size()));
    for (qsizetype index = 0; index < entries.size(); ++index) {
        ranked.emplace_back(entries.at(index), index);
    }
    std::partial_sort(ranked.begin(), ranked.begin() + count, ranked.end(), [&newer](const auto &a, const auto &b) {
        return newer(a.first, b.first) || (!newer(b.first, a.first) && a.second < b.second);
    });
    QList<RSSItem *> first;
    first.reserve(count);
    for (auto it = ranked.cbegin(); it != ranked.cbegin() + count; ++it) {
        first.append(it->first);
    }
    return first;
}
