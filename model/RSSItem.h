#pragma once

#include <QDateTime>
#include <QObject>

#include <memory>
#include <optional>
#include <vector>

#include "model/MenuItem.h"
#include "store/Record.h"

class QAuthenticator;
class QUrl;
class RSSFeed;
class SubLink;
class WebArchiveJob;

// One entry of a feed. Its long text stays in the store until someone asks for it, and so
// does everything but its date and cached page until the first getter of one of them (the
// record is a fault until then; see Record::fireFault).
class RSSItem : public Record
{
public:
    // What the menu's and windows' rows show of an entry, read from the store on first use.
    struct Details
    {
        std::optional<QString> title;
        std::optional<QString> author;
        std::optional<QString> url;
        std::optional<QString> guid;
        std::vector<std::unique_ptr<SubLink>> subLinks;
    };

    explicit RSSItem(ObjectContext *context);
    ~RSSItem() override;

    // The stored attributes and the sub-links, as the store sees them.
    static const EntityDescription &entityDescription();
    static RSSItem *insert(ObjectContext *context);
    // Whether any entry, of any feed or of none, has exactly this identifier; unsaved
    // entries count. An absent identifier matches entries stored without one.
    static bool existsWithGuid(ObjectContext *context, const std::optional<QString> &guid);

    // Saved texts go back to the store; they load again when someone asks.
    void didSynchronizeWithStore() override;
    void releaseLazyValues() override;

    std::optional<QString> title() const { return firedDetails().title; }
    void setTitle(const std::optional<QString> &title);
    std::optional<QString> author() const { return firedDetails().author; }
    void setAuthor(const std::optional<QString> &author);
    std::optional<QDateTime> date() const { return m_date; }
    void setDate(const std::optional<QDateTime> &date);
    std::optional<QString> url() const { return firedDetails().url; }
    void setUrl(const std::optional<QString> &url);
    std::optional<QString> guid() const { return firedDetails().guid; }
    void setGuid(const std::optional<QString> &guid);
    std::optional<QString> text() const;
    std::optional<QString> cachedPath() const { return m_pageCache ? m_pageCache->path : std::nullopt; }
    void setCachedPath(const std::optional<QString> &path);

    RSSFeed *feed() const { return m_feed; }
    const std::vector<std::unique_ptr<SubLink>> &subLinks() const { return firedDetails().subLinks; }

    // Presentation.
    void setText(const std::optional<QString> &html);
    QString brevlinTitle() const;
    QString brevlinDescription() const;
    std::optional<QString> cachedID() const;
    MenuItem menuItem() const;
    void openFeed() const;
    // Newest first: an entry with a later date orders before one with an earlier date;
    // entries without a date order after every dated one.
    std::partial_ordering dateCompare(const RSSItem &other) const;
    // The entries sorted with dateCompare, newest first; entries of equal date keep their order.
    // With a count, only the first count of them (a negative count keeps them all).
    static QList<RSSItem *> newestFirst(QList<RSSItem *> entries, qsizetype count = -1);

    // Page cache.
    void cachePage();
    void removePageCache();
    // Set once this entry object started caching its page, never cleared: each object tries once.
    bool cachingPage() const { return m_pageCache && m_pageCache->tried; }

    // Sub-links.
    void createSubLinksFromString(const std::optional<QString> &text);
    void createRdarLinksFromString(const QString &text);
    void createURLLinksFromString(const QString &text);
    void addSubLinkEntry(std::unique_ptr<SubLink> subLink);

private:
    friend class RSSFeed;

    // The details as they are, made empty when missing: the store's access, which never reads it.
    Details &details() const;
    const Details &firedDetails() const
    {
        fireFault();
        return details();
    }
    // The text as it is, made absent when not read yet: the store's access, which never reads it.
    std::optional<QByteArray> &storedText() const;
    void setPrimitiveText(const std::optional<QString> &text);
    void onPageArchived(const QString &path);
    void onPageFailed(const QString &description, const QString &failingUrl);
    void onPageAuthenticationRequired(const QUrl &requestUrl, int previousFailures, QAuthenticator *answer) const;
    void releasePageLoad();
    void loadPage(const QUrl &url);

    // Absent while the entry is a fault: 100,000 stored entries would otherwise keep their
    // titles, addresses and sub-links in every process.
    mutable std::unique_ptr<Details> m_details;
    std::optional<QDateTime> m_date;
    // Absent until read or set: most entries are never asked for their text. UTF-8: half the
    // memory of UTF-16 for the mostly Latin text of feeds, and what the store keeps anyway.
    mutable std::unique_ptr<std::optional<QByteArray>> m_text;
    RSSFeed *m_feed = nullptr;
    // The cached page, as stored, and the run-time state of caching it, never stored. Made only
    // for the few entries that have a page or tried to cache one (the newest), so that 100,000
    // stored entries keep a pointer each and not the room of an absent path.
    struct PageCache
    {
        std::optional<QString> path;
        bool tried = false;
        std::unique_ptr<WebArchiveJob> load;
        // Lives while the page waits for the feed's password from the keyring.
        std::unique_ptr<QObject> passwordWait;
    };
    PageCache &pageCache();
    std::unique_ptr<PageCache> m_pageCache;
};

Q_DECLARE_OPAQUE_POINTER(RSSItem *)
Q_DECLARE_METATYPE(RSSItem *)
