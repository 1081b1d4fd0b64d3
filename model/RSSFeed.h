#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>

#include <functional>
#include <memory>
#include <optional>

#include "model/CheckInterval.h"
#include "model/DownloadLimits.h"
#include "model/FeedCheckMemory.h"
#include "model/MenuItem.h"
#include "platform/Credentials.h"
#include "platform/PasswordStore.h"
#include "store/Record.h"

class FeedDownload;
class FeedScheduleHints;
class RSSItem;
class XmlDocument;
class XmlNode;

// One subscribed feed: its stored attributes, its history of entries, and the
// operations that fetch and parse its document.
class RSSFeed : public QObject, public Record
{
    Q_OBJECT
public:
    explicit RSSFeed(ObjectContext *context);
    ~RSSFeed() override;

    // The stored attributes and the history, as the store sees them.
    static const EntityDescription &entityDescription();
    static RSSFeed *insert(ObjectContext *context);
    // Every feed, sorted by name ascending (absent names first). Loads the feeds and their
    // histories on the first call; each loaded feed then receives awakeFromFetch.
    static std::optional<QList<RSSFeed *>> fetchFeeds(ObjectContext *context);

    // Store life cycle.
    void awakeFromInsert() override;
    void awakeFromFetch() override;
    void prepareForDeletion() override;

    // Fetching.
    void checkFeed();
    bool didConnect() const { return m_didConnect; }
    bool isTracFeed() const { return m_isTracFeed; }
    bool isTwitterFeed() const { return m_isTwitterFeed; }
    void setDidConnect(bool flag);
    void setErrorMessage(const std::optional<QString> &message);
    bool isDownloading() const { return m_downloadWaits || m_connection != nullptr; }
    // Ends a running download without a callback; called before the feed is deleted.
    void cancelDownload();
    // For the downloads of its later checks.
    void setDownloadLimits(const DownloadLimits &limits) { m_downloadLimits = limits; }

    // History and menus.
    void cleanupOldItems();
    QSet<QString> cachedIDs() const;
    QList<RSSItem *> firstFeedItems(quint32 count) const;
    enum class SubmenuFill { Now, OnOpening };
    MenuItem feedMenuItem(const QSet<RSSItem *> &hiddenEntries, SubmenuFill fill = SubmenuFill::Now) const;
    // The feed as people know it: its name, else its address, else "Feed".
    QString displayName() const;
    // The display name in menus, after a hyphen when the last check reached no document.
    QString feedMenuTitle() const;
    void openFeed() const;

    // Accessors with side effects.
    std::optional<QString> name() const { return m_name; }
    void setName(const std::optional<QString> &name);
    std::optional<QString> url() const { return m_url; }
    // Stores the address with a leading "feed" read as "http", and checks the feed.
    void setUrl(const std::optional<QString> &url);
    // "feed://host/x" gives "http://host/x": browsers hand feeds over under that name.
    static QString withFeedSchemeAsHttp(const QString &url);
    std::optional<QString> login() const { return m_login; }
    void setLogin(const std::optional<QString> &login);
    // The password to send: the store's, else the keyring's once it was read in this run.
    std::optional<QString> password() const;
    // Keeps the password in the keyring when one answers (the store holds it until the keyring
    // confirmed), else in the store. Every edit of a password comes here.
    void setPassword(const std::optional<QString> &password);
    // The login and the password to send.
    Credentials credentials() const { return {m_login, password()}; }
    // Sets what is given of them, the login first, so that the keyring keeps the password under it.
    void setCredentials(const Credentials &credentials);
    // Calls ready once password() has what there is to send: at once, or after the keyring was
    // asked (for a feed with a login whose password the store does not hold). Nothing is called
    // once receiver is gone. A password still in the store moves to the keyring meanwhile.
    void whenPasswordKnown(QObject *receiver, std::function<void()> ready);
    bool showInRecentList() const { return m_showInRecentList.value_or(false); }
    void setShowInRecentList(bool show);
    // Whether its new entries are announced; they are stored and shown in the menu either way.
    bool notifies() const { return m_notify.value_or(true); }
    void setNotifies(bool notify);
    // The feed's own check interval in seconds, within the global one's bounds; nothing for
    // "auto", the global interval as the feed's hints lengthen it.
    std::optional<qint64> interval() const { return m_interval; }
    void setInterval(const std::optional<qint64> &seconds);

    // Scheduling.
    // What the last document and response asked for: the interval (seconds, at most a day) and
    // the hours and days to skip (see FeedScheduleHints).
    std::optional<qint64> hintedInterval() const { return m_hintedInterval; }
    qint64 skipTimes() const { return m_skipTimes.value_or(0); }
    CheckInterval checkEvery(std::chrono::milliseconds global) const
    {
        return CheckInterval::inForce(m_interval, m_hintedInterval, global);
    }
    // Whether a timed check at the moment should ask for the feed: its interval has passed since the
    // last check the timer or the user asked for, no pause holds, and (at "auto") its skip hours
    // and days leave the moment out.
    bool isDue(const QDateTime &now, std::chrono::milliseconds global) const;
    // Called as a check of the feed is asked for, by the timer or by hand.
    void setCheckRequested(const QDateTime &moment) { m_checkRequested = moment.toMSecsSinceEpoch(); }

    // Plain attributes.
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    std::optional<QString> didConnectString() const { return m_didConnectString; }
    std::optional<QDateTime> lastFetchDate() const { return m_lastFetchDate; }
    void setLastFetchDate(const std::optional<QDateTime> &date);
    std::optional<QString> link() const { return m_link; }
    void setLink(const std::optional<QString> &link);
    std::optional<QString> generator() const { return m_generator; }
    void setGenerator(const std::optional<QString> &generator);
    // Until when the server asked to be left alone (a 429 or 503 with Retry-After): no check
    // sends it anything before then, in this process or the next. Another address or other
    // credentials end the pause.
    std::optional<QDateTime> retryAfter() const { return m_retryAfter; }

    // The history: a set, in no particular order.
    const QList<RSSItem *> &feedEntries() const { return m_feedEntries; }
    // How many entries the history holds: counted in memory, or by the store when the histories
    // were not loaded (see ObjectContext::setLoadsDestinations); nothing when the store fails.
    std::optional<qsizetype> entryCount() const;
    // Reads, in one go, what the store keeps of the history's entries until asked: for a
    // history shown or exported whole.
    void fireEntryFaults() const;
    void addFeedEntry(RSSItem *entry);
    // The history changed, or the date of one of its entries.
    void historyOrderChanged() { m_newestEntries.reset(); }
    void removeFeedEntry(RSSItem *entry);
    void removeFeedEntries(const QSet<RSSItem *> &entries);

    // Parsing.
    // What a check reports for downloaded bytes and the tree read from them: "" for a feed (a
    // root of rss, rdf:RDF or feed), else why it is none, such as "Not a feed: an HTML page" or
    // the XML parser's error for bytes it could not read at all.
    static QString documentError(const XmlDocument *document, const QByteArray &data, const QString &parserError);
    void parseDocument(const XmlDocument *document);
    void parseChannel(const XmlNode &channel);
    void parseItems(const XmlNode &element);
    std::optional<QDateTime> parseItem(const XmlNode &item);

Q_SIGNALS:
    // A check that started a download has ended: its document was parsed (after the deferred
    // parse ran), the server said it had not changed, or its download failed. Cancelled
    // downloads end without it.
    void checkEnded();
    // The keyring answered a read of the password, or could not.
    void passwordKnown();

private:
    // The run-time flags a feed's generator decides.
    void setFlagsFromGenerator(const QString &generator);
    void setRetryAfter(const std::optional<QDateTime> &moment);
    void setDocumentHints(const FeedScheduleHints &hints);
    void setResponseFreshness(const std::optional<qint64> &seconds);
    void updateHintedInterval();
    QList<RSSItem *> historyEntries(const QSet<RSSItem *> &hiddenEntries) const;
    bool hasHistoryEntries(const QSet<RSSItem *> &hiddenEntries) const;
    std::unique_ptr<Menu> historyMenu(const QSet<RSSItem *> &hiddenEntries) const;
    void startDownload(const QUrl &url);
    void onDownloadFinished(const QByteArray &body);
    void onDownloadNotModified();
    void onDownloadFailed(const QString &message);
    void onAuthenticationRefused();
    void dropDownload();
    bool isKnownIdentifier(const std::optional<QString> &identifier) const;

    // The keyring's side of the password.
    std::optional<PasswordKey> keyringKey() const;
    void rememberKeyringKey();
    void readKeyringPassword();
    void onKeyringRead(const PasswordKey &where, PasswordJob::Outcome outcome, const QString &password,
                       const QString &error);
    void movePasswordToKeyring();
    void onPasswordMoved(const PasswordKey &key, const QString &password);
    void deleteKeyringPassword(const PasswordKey &key);

    std::optional<QString> m_name;
    std::optional<QString> m_url;
    std::optional<QString> m_login;
    std::optional<QString> m_password;
    std::optional<bool> m_showInRecentList;
    std::optional<QString> m_errorMessage;
    std::optional<QString> m_didConnectString;
    std::optional<QDateTime> m_lastFetchDate;
    std::optional<QString> m_link;
    std::optional<QString> m_generator;
    std::optional<QDateTime> m_retryAfter;
    std::optional<bool> m_notify;
    std::optional<qint64> m_interval;
    std::optional<qint64> m_hintedInterval;
    std::optional<qint64> m_skipTimes;
    QList<RSSItem *> m_feedEntries;
    // The newest entries last asked for, and how many: every menu rebuild asks every feed,
    // and a history changes far less often than the menu is rebuilt.
    mutable std::optional<std::pair<quint32, QList<RSSItem *>>> m_newestEntries;

    // Run-time state, never stored.
    FeedDownload *m_connection = nullptr;
    // A check waits for the password or for its turn in the download queue; each check has its
    // number, so that a password wait of a dropped one does nothing.
    bool m_downloadWaits = false;
    quint64 m_checkNumber = 0;
    FeedCheckMemory m_checkMemory;
    DownloadLimits m_downloadLimits;
    bool m_didConnect = false;
    bool m_isTracFeed = false;
    bool m_isTwitterFeed = false;
    enum class KeyringState { Unknown, Reading, Known };
    KeyringState m_keyringState = KeyringState::Unknown;
    std::optional<QString> m_keyringPassword;
    // Where the keyring keeps the password when the address or login changed since it was
    // stored; otherwise the feed's own address and login.
    std::optional<PasswordKey> m_keyringKey;
    bool m_movingPassword = false;
    // The two halves of the hinted interval: from the last parsed document, and from the last
    // response (a 304 included).
    std::optional<qint64> m_documentInterval;
    std::optional<qint64> m_responseFreshness;
    std::optional<qint64> m_checkRequested; // milliseconds since the epoch
};
