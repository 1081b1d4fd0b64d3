#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>

#include "model/FeedDiscovery.h"
#include "model/OpmlTransfer.h"

class ObjectContext;
class QUrl;
class Record;
class RSSFeed;

// The subscribed feeds as a table sorted by name, for the subscription window. Every
// edit goes through the context's undo stack and the feeds' own setters, so a typed
// address is rewritten and checked as anywhere else. All store access of the window
// lives here.
class FeedTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        NameColumn,
        UrlColumn,
        LoginColumn,
        PasswordColumn,
        ShowInRecentListColumn,
        NotifyColumn,
        IntervalColumn,
        StatusColumn,
        ColumnCount
    };
    // The stored password, for the masked editor only; no other role gives it out.
    static constexpr int PasswordRole = Qt::UserRole + 1;

    explicit FeedTableModel(ObjectContext *context, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    RSSFeed *feedAt(int row) const;
    int rowOf(const RSSFeed *feed) const;
    // A new feed without name or address; its row, where the user types them.
    QModelIndex addFeed();
    // Subscribes feed to one of the feeds offered for it, as if that address had been typed.
    void useOfferedFeed(RSSFeed *feed, const QUrl &url);
    // Deletes the feeds of these rows with their entries.
    void removeFeeds(const QList<int> &rows);
    OpmlTransfer::ImportResult subscribeAll(const QList<Subscription> &subscriptions);
    bool exportFile(const QString &path, QString *errorString) const;

    // Why the feeds could not be loaded; empty when they were.
    QString errorString() const { return m_errorString; }

    static QString statusText(const RSSFeed *feed);

Q_SIGNALS:
    // An address was stored that no check can fetch; the window tells the user.
    void unusableAddress(const QString &url);
    // The http or https address typed for feed is a web page that names these feeds.
    void feedsOffered(RSSFeed *feed, const QList<DiscoveredFeed> &feeds);

private:
    void reload();
    void scheduleReload();
    bool setAddress(RSSFeed *feed, const QString &typed);
    bool setInterval(RSSFeed *feed, const QString &typed);
    void onRecordChanged(Record *record, const QString &key);
    void onObjectsDidChange(const QList<Record *> &deletedObjects);
    QVariant displayValue(const RSSFeed *feed, int column) const;
    void discoverFeeds(RSSFeed *feed);

    ObjectContext *m_context;
    QList<RSSFeed *> m_feeds;
    QString m_errorString;
    bool m_importing = false;
    bool m_reloadScheduled = false;
    QHash<RSSFeed *, FeedDiscovery *> m_discoveries;
};
