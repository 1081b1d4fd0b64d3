#include "store/ObjectContext.h"

#include <QSqlError>
#include <QUndoStack>

#include <algorithm>

#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/SubLink.h"
#include "store/StoreFile.h"
#include "store/StoreReader.h"
#include "store/StoreWriter.h"
#include "store/ValueEdit.h"

ObjectContext::ObjectContext(QObject *parent)
    : QObject(parent)
    , m_undoStack(new QUndoStack(this))
{
    static int connectionCount = 0;
    m_connectionName = QStringLiteral("brevlin-store-%1").arg(++connectionCount);
}

ObjectContext::~ObjectContext()
{
    for (const auto &feed : m_feeds) {
        feed->cancelDownload();
    }
    qDeleteAll(m_items);
    qDeleteAll(m_deletedItems);
    m_reader.reset();
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool ObjectContext::open(const QString &path, const QString &schema)
{
    StoreFile file(m_connectionName);
    if (!file.open(path, schema)) {
        m_errorString = file.errorString();
        return false;
    }
    m_database = file.database();
    m_reader = std::make_unique<StoreReader>(m_database);
    m_errorString.clear();
    return true;
}

bool ObjectContext::isOpen() const
{
    return m_reader != nullptr;
}

bool ObjectContext::fail(const QString &message)
{
    m_errorString = message;
    return false;
}

std::optional<QList<RSSFeed *>> ObjectContext::fetchFeeds()
{
    if (!m_feedsLoaded && !loadFeeds()) {
        return std::nullopt;
    }
    QList<RSSFeed *> feeds;
    feeds.reserve(qsizetype(m_feeds.size()));
    for (const auto &feed : m_feeds) {
        feeds.append(feed.get());
    }
    std::stable_sort(feeds.begin(), feeds.end(), [](const RSSFeed *a, const RSSFeed *b) {
        return a->name() < b->name();
    });
    return feeds;
}

bool ObjectContext::loadFeeds()
{
    if (!isOpen()) {
        return fail(m_errorString.isEmpty() ? tr("The store is not open.") : m_errorString);
    }
    std::vector<std::unique_ptr<RSSFeed>> loaded;
    QList<RSSItem *> items;
    if (!m_reader->loadFeeds(this, loaded, items)) {
        return fail(m_reader->errorString());
    }
    m_feedsLoaded = true;
    for (RSSItem *item : items) {
        m_items.insert(item);
    }
    std::vector<RSSFeed *> awakened;
    for (auto &feed : loaded) {
        awakened.push_back(feed.get());
        m_feeds.push_back(std::move(feed));
    }
    for (RSSFeed *feed : awakened) {
        if (m_checksFeeds) {
            feed->awakeFromFetch();
        }
    }
    return true;
}

RSSFeed *ObjectContext::insertFeed()
{
    auto feed = std::make_unique<RSSFeed>(this);
    RSSFeed *inserted = feed.get();
    m_feeds.push_back(std::move(feed));
    m_changed.insert(inserted);
    inserted->awakeFromInsert();
    return inserted;
}

RSSItem *ObjectContext::insertItem()
{
    auto *item = new RSSItem(this);
    registerItem(item);
    return item;
}

void ObjectContext::registerItem(RSSItem *item)
{
    m_items.insert(item);
    m_changed.insert(item);
    ++m_unsavedWithoutGuid;
}

void ObjectContext::unsavedGuidChanged(const std::optional<QString> &from, const std::optional<QString> &to,
                                       bool stillUnsaved)
{
    if (from) {
        if (--m_unsavedGuids[*from] <= 0) {
            m_unsavedGuids.remove(*from);
        }
    } else {
        --m_unsavedWithoutGuid;
    }
    if (!stillUnsaved) {
        return;
    }
    if (to) {
        ++m_unsavedGuids[*to];
    } else {
        ++m_unsavedWithoutGuid;
    }
}

std::unique_ptr<SubLink> ObjectContext::insertSubLink()
{
    return std::make_unique<SubLink>(this);
}

void ObjectContext::deleteFeed(RSSFeed *feed)
{
    auto found = std::find_if(m_feeds.begin(), m_feeds.end(), [feed](const auto &f) { return f.get() == feed; });
    if (found == m_feeds.end()) {
        qWarning("ObjectContext::deleteFeed: the feed is not in this context");
        return;
    }
    feed->cancelDownload();
    QList<Record *> deleted{feed};
    for (RSSItem *item : feed->feedEntries()) {
        deleted.append(item);
        m_items.remove(item);
        m_changed.remove(item);
        if (item->state() == Record::State::Inserted) {
            unsavedGuidChanged(item->guid(), std::nullopt, false);
            delete item;
        } else {
            item->m_state = Record::State::Deleted;
            m_deletedItems.append(item);
        }
    }
    feed->m_feedEntries.clear();
    m_changed.remove(feed);
    feed->m_state = Record::State::Deleted;
    m_deletedFeeds.push_back(std::move(*found));
    m_feeds.erase(found);
    m_undoStack->clear();
    Q_EMIT objectsDidChange(deleted);
}

bool ObjectContext::hasItemWithGuid(const std::optional<QString> &guid)
{
    if (guid ? m_unsavedGuids.value(*guid) > 0 : m_unsavedWithoutGuid > 0) {
        return true;
    }
    if (!isOpen()) {
        return false;
    }
    return m_reader->hasItemWithGuid(guid);
}

bool ObjectContext::hasChanges() const
{
    return !m_changed.isEmpty() || !m_deletedFeeds.empty();
}

bool ObjectContext::save()
{
    if (!isOpen()) {
        return fail(m_errorString.isEmpty() ? tr("The store is not open.") : m_errorString);
    }
    if (!hasChanges()) {
        return true;
    }
    m_reader->endReadTransaction();
    StoreWriter writer(m_database);
    std::vector<RSSFeed *> deletedFeeds;
    for (const auto &feed : m_deletedFeeds) {
        deletedFeeds.push_back(feed.get());
    }
    if (!writer.write(m_changed, deletedFeeds)) {
        return fail(writer.errorString());
    }
    writer.applyRowIds();
    for (Record *record : std::as_const(m_changed)) {
        record->m_state = Record::State::Saved;
        if (record->entity() == Record::Entity::Item) {
            // Saved texts go back to the store; they load again when someone asks.
            auto *item = static_cast<RSSItem *>(record);
            item->m_text.reset();
            item->m_textLoaded = false;
        }
    }
    m_changed.clear();
    m_unsavedGuids.clear();
    m_unsavedWithoutGuid = 0;
    releaseSavedObjects();
    return true;
}

void ObjectContext::releaseSavedObjects()
{
    m_deletedFeeds.clear();
    QList<Record *> released(m_deletedItems.cbegin(), m_deletedItems.cend());
    m_deletedItems.clear();
    for (auto it = m_items.begin(); it != m_items.end();) {
        if ((*it)->feed() == nullptr) {
            released.append(*it);
            it = m_items.erase(it);
        } else {
            ++it;
        }
    }
    if (!released.isEmpty()) {
        Q_EMIT itemsWillBeReleased(released);
        qDeleteAll(released);
    }
}

void ObjectContext::recordDidChange(Record *record, const QString &key)
{
    if (record->m_state == Record::State::Saved) {
        record->m_state = Record::State::Updated;
        m_changed.insert(record);
    }
    Q_EMIT recordChanged(record, key);
}

std::optional<QString> ObjectContext::loadText(const RSSItem *item)
{
    if (!isOpen() || item->rowId() == 0) {
        return std::nullopt;
    }
    return m_reader->loadText(item->rowId());
}

void ObjectContext::addEditingCommitter(QObject *owner, std::function<bool()> committer)
{
    m_committers.append({owner, std::move(committer)});
    connect(owner, &QObject::destroyed, this, [this, owner] {
        m_committers.removeIf([owner](const auto &entry) { return entry.first == owner; });
    });
}

bool ObjectContext::commitEditing()
{
    return std::all_of(m_committers.cbegin(), m_committers.cend(), [](const auto &entry) { return entry.second(); });
}

void ObjectContext::setValueUndoably(Record *record, const QString &key, const QVariant &value)
{
    m_undoStack->push(new ValueEdit(record, key, value));
}
