#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QUndoStack;
class Record;
class RSSFeed;
class RSSItem;
class SubLink;
class StoreReader;

// The one object context of the process: the records loaded from the SQLite store,
// the changes made to them since the last save, an undo stack for edits made in the
// windows, and the identifier lookup the parser asks before storing an entry.
// Entries detached from every feed stay in the store but leave memory at the next save.
class ObjectContext : public QObject
{
    Q_OBJECT
public:
    explicit ObjectContext(QObject *parent = nullptr);
    ~ObjectContext() override;

    // Opens the store file at path, creating it (mode 0600) with the schema when missing. A file that is
    // not a store of ours, or of a newer schema, is refused and left as it is.
    bool open(const QString &path, const QString &schema);
    bool isOpen() const;
    QString errorString() const { return m_errorString; }

    // Every feed, sorted by name ascending (absent names first). Loads the feeds and
    // their histories on the first call; each loaded feed then receives awakeFromFetch.
    std::optional<QList<RSSFeed *>> fetchFeeds();
    // Tools that only read or edit the store (the command line) turn this off before the
    // first fetch: loaded feeds are then not awakened and checkFeed does nothing. Awaking
    // resets the last fetch date and a check clears the stored error message, so a listing
    // would show neither and a save would write both away; and a process that exits at
    // once would only send requests whose answers nobody reads.
    void setChecksFeeds(bool checks) { m_checksFeeds = checks; }
    bool checksFeeds() const { return m_checksFeeds; }

    RSSFeed *insertFeed();
    RSSItem *insertItem();
    std::unique_ptr<SubLink> insertSubLink();
    // Deletes the feed together with its entries and their sub-links.
    void deleteFeed(RSSFeed *feed);

    // Whether any entry, of any feed or of none, has exactly this identifier; unsaved
    // entries count. An absent identifier matches entries stored without one.
    bool hasItemWithGuid(const std::optional<QString> &guid);

    bool hasChanges() const;
    // Writes every pending change in one transaction. On failure nothing is written,
    // every change stays pending and errorString() says why.
    bool save();

    // Windows register a committer for their half-typed edits; the quit decision asks
    // them all before saving. A committer that returns false refuses.
    void addEditingCommitter(QObject *owner, std::function<bool()> committer);
    bool commitEditing();

    QUndoStack *undoManager() const { return m_undoStack; }
    // An edit made in a window: recorded on the undo stack, applied through the
    // record's by-key access so the custom setters run.
    void setValueUndoably(Record *record, const QString &key, const QVariant &value);

    // Called by the records.
    void recordDidChange(Record *record, const QString &key);
    // An unsaved entry's identifier changed (or the entry was dropped unsaved, when
    // stillUnsaved is false); keeps the lookup of unsaved identifiers exact.
    void unsavedGuidChanged(const std::optional<QString> &from, const std::optional<QString> &to,
                            bool stillUnsaved);
    std::optional<QString> loadText(const RSSItem *item);

Q_SIGNALS:
    void recordChanged(Record *record, const QString &key);
    void objectsDidChange(const QList<Record *> &deletedObjects);
    // Entries are about to leave memory (deleted, or detached from every feed, and saved);
    // whoever holds one of them must let go now.
    void itemsWillBeReleased(const QList<Record *> &items);

private:
    bool loadFeeds();
    void registerItem(RSSItem *item);
    void releaseSavedObjects();
    bool fail(const QString &message);

    QString m_connectionName;
    QSqlDatabase m_database;
    std::unique_ptr<StoreReader> m_reader;
    QString m_errorString;
    bool m_feedsLoaded = false;
    bool m_checksFeeds = true;

    std::vector<std::unique_ptr<RSSFeed>> m_feeds;
    QSet<RSSItem *> m_items;
    QSet<Record *> m_changed;
    std::vector<std::unique_ptr<RSSFeed>> m_deletedFeeds;
    QList<RSSItem *> m_deletedItems;
    QHash<QString, int> m_unsavedGuids;
    int m_unsavedWithoutGuid = 0;

    QList<std::pair<QObject *, std::function<bool()>>> m_committers;
    QUndoStack *m_undoStack;
};
