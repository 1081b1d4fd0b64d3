#include "controller/FeedTableModel.h"

#include <QPointer>
#include <QUndoStack>
#include <QUrl>

#include <algorithm>

#include "controller/CheckIntervalText.h"
#include "model/FeedSubscriber.h"
#include "model/OpenPolicy.h"
#include "model/RSSFeed.h"
#include "store/ObjectContext.h"

namespace {

// The record keys behind the editable columns, as the undo stack replays them.
QString keyOf(int column)
{
    switch (column) {
    case FeedTableModel::NameColumn:
        return QStringLiteral("name");
    case FeedTableModel::UrlColumn:
        return QStringLiteral("url");
    case FeedTableModel::LoginColumn:
        return QStringLiteral("login");
    case FeedTableModel::PasswordColumn:
        return QStringLiteral("password");
    case FeedTableModel::ShowInRecentListColumn:
        return QStringLiteral("showInRecentList");
    case FeedTableModel::NotifyColumn:
        return QStringLiteral("notify");
    case FeedTableModel::IntervalColumn:
        return QStringLiteral("interval");
    default:
        return {};
    }
}

int columnOf(const QString &key)
{
    if (key == QLatin1String("errorMessage") || key == QLatin1String("didConnectString")) {
        return FeedTableModel::StatusColumn;
    }
    if (key == QLatin1String("hintedInterval")) {
        return FeedTableModel::IntervalColumn;
    }
    for (int column = 0; column < FeedTableModel::StatusColumn; ++column) {
        if (keyOf(column) == key) {
            return column;
        }
    }
    return -1;
}

} // namespace

FeedTableModel::FeedTableModel(ObjectContext *context, QObject *parent)
    : QAbstractTableModel(parent)
    , m_context(context)
{
    connect(m_context, &ObjectContext::recordChanged, this, &FeedTableModel::onRecordChanged);
    connect(m_context, &ObjectContext::objectsDidChange, this, &FeedTableModel::onObjectsDidChange);
    reload();
}

int FeedTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_feeds.size());
}

int FeedTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FeedTableModel::data(const QModelIndex &index, int role) const
{
    const RSSFeed *feed = feedAt(index.row());
    if (feed == nullptr) {
        return {};
    }
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return displayValue(feed, column);
    case Qt::EditRole:
        // The masked editor asks for PasswordRole; anything else that edits gets nothing to show.
        if (column == IntervalColumn) {
            return feed->interval() ? QString::number(*feed->interval()) : QStringLiteral("auto");
        }
        return column == PasswordColumn ? QVariant(QString()) : displayValue(feed, column);
    case PasswordRole:
        return column == PasswordColumn ? QVariant(feed->password().value_or(QString())) : QVariant();
    case Qt::CheckStateRole:
        if (column == ShowInRecentListColumn || column == NotifyColumn) {
            const bool checked = column == NotifyColumn ? feed->notifies() : feed->showInRecentList();
            return checked ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    default:
        return {};
    }
}

QVariant FeedTableModel::displayValue(const RSSFeed *feed, int column) const
{
    switch (column) {
    case NameColumn:
        return feed->name().value_or(QString());
    case UrlColumn:
        return feed->url().value_or(QString());
    case LoginColumn:
        return feed->login().value_or(QString());
    case PasswordColumn:
        // A fixed number of dots: the length of a password is part of the secret.
        return feed->password().value_or(QString()).isEmpty() ? QString() : QString(8, QChar(0x2022));
    case IntervalColumn:
        return CheckIntervalText::inForce(feed);
    case StatusColumn:
        return statusText(feed);
    default:
        return {};
    }
}

QString FeedTableModel::statusText(const RSSFeed *feed)
{
    const std::optional<QString> connected = feed->didConnectString();
    if (!connected) {
        return tr("Not checked yet");
    }
    if (*connected == QLatin1String("Yes")) {
        return tr("Connected");
    }
    const QString error = feed->errorMessage().value_or(QString());
    // The messages of failed checks already say what failed ("Failed 404 Not Found ...").
    return error.isEmpty() ? tr("Failed") : error;
}

QVariant FeedTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case NameColumn:
        return tr("Name");
    case UrlColumn:
        return tr("Address");
    case LoginColumn:
        return tr("Login");
    case PasswordColumn:
        return tr("Password");
    case ShowInRecentListColumn:
        return tr("In recent list");
    case NotifyColumn:
        return tr("Notify");
    case IntervalColumn:
        return tr("Check every");
    case StatusColumn:
        return tr("Status");
    default:
        return {};
    }
}

Qt::ItemFlags FeedTableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (!index.isValid() || index.column() == StatusColumn) {
        return flags;
    }
    if (index.column() == ShowInRecentListColumn || index.column() == NotifyColumn) {
        return flags | Qt::ItemIsUserCheckable;
    }
    return flags | Qt::ItemIsEditable;
}

bool FeedTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    RSSFeed *feed = feedAt(index.row());
    const QString key = keyOf(index.column());
    if (feed == nullptr || key.isEmpty()) {
        return false;
    }
    if (index.column() == ShowInRecentListColumn || index.column() == NotifyColumn) {
        if (role != Qt::CheckStateRole) {
            return false;
        }
        m_context->setValueUndoably(feed, key, value.value<Qt::CheckState>() == Qt::Checked);
        return true;
    }
    if (role != Qt::EditRole) {
        return false;
    }
    if (index.column() == UrlColumn) {
        return setAddress(feed, value.toString());
    }
    if (index.column() == IntervalColumn) {
        return setInterval(feed, value.toString());
    }
    const QString text = value.toString();
    const QString current = index.column() == PasswordColumn ? feed->password().value_or(QString())
                                                             : displayValue(feed, index.column()).toString();
    // An editor closed unchanged must not restart the feed's check nor fill the undo stack.
    if (text == current) {
        return true;
    }
    // A cleared field clears the value rather than storing an empty one.
    m_context->setValueUndoably(feed, key, text.isEmpty() ? QVariant() : QVariant(text));
    return true;
}

bool FeedTableModel::setAddress(RSSFeed *feed, const QString &typed)
{
    // Pasted addresses often carry a line break or spaces around them.
    Subscription subscription;
    subscription.url = typed.trimmed();
    subscription.credentials = feed->credentials();
    subscription = FeedSubscriber::withCredentialsFromAddress(subscription);
    const QString &text = subscription.url;
    const Credentials &credentials = subscription.credentials;
    const bool credentialsChange = credentials != feed->credentials();
    if (text == feed->url().value_or(QString()) && !credentialsChange) {
        return true;
    }
    // Credentials taken from the address are part of the same edit: one undo restores all.
    QUndoStack *undo = m_context->undoManager();
    if (credentialsChange) {
        undo->beginMacro(tr("Change Address"));
    }
    if (credentials.login != feed->login()) {
        m_context->setValueUndoably(feed, keyOf(LoginColumn), *credentials.login);
    }
    if (credentials.password != feed->password()) {
        m_context->setValueUndoably(feed, keyOf(PasswordColumn), *credentials.password);
    }
    m_context->setValueUndoably(feed, keyOf(UrlColumn), text.isEmpty() ? QVariant() : QVariant(text));
    if (credentialsChange) {
        undo->endMacro();
    }
    if (!text.isEmpty()) {
        const QString stored = feed->url().value_or(QString());
        if (!FeedSubscriber::isUsableAddress(stored)) {
            Q_EMIT unusableAddress(stored);
        } else {
            discoverFeeds(feed);
        }
    }
    return true;
}

// "auto" or a cleared field for the interval in force, else seconds within the global interval's
// bounds; anything else is refused and the field shows the interval as it was.
bool FeedTableModel::setInterval(RSSFeed *feed, const QString &typed)
{
    std::optional<qint64> seconds;
    if (!typed.trimmed().isEmpty() && !CheckInterval::fromText(typed, &seconds)) {
        return false;
    }
    if (seconds != feed->interval()) {
        m_context->setValueUndoably(feed, keyOf(IntervalColumn), seconds ? QVariant(*seconds) : QVariant());
    }
    return true;
}

RSSFeed *FeedTableModel::feedAt(int row) const
{
    return row >= 0 && row < m_feeds.size() ? m_feeds.at(row) : nullptr;
}

int FeedTableModel::rowOf(const RSSFeed *feed) const
{
    return int(m_feeds.indexOf(feed));
}

QModelIndex FeedTableModel::addFeed()
{
    RSSFeed *feed = RSSFeed::insert(m_context);
    reload();
    return index(rowOf(feed), UrlColumn);
}

void FeedTableModel::useOfferedFeed(RSSFeed *feed, const QUrl &url)
{
    const int row = rowOf(feed);
    if (row >= 0) {
        setData(index(row, UrlColumn), url.toString());
    }
}

void FeedTableModel::discoverFeeds(RSSFeed *feed)
{
    // Each address gets its own look; one the user typed over is of no more interest.
    delete m_discoveries.take(feed);
    const QUrl address(feed->url().value_or(QString()));
    if (!OpenPolicy::isWebPage(address) || !m_context->checksFeeds()) {
        return;
    }
    auto *discovery = new FeedDiscovery(address, feed->credentials(), this);
    m_discoveries.insert(feed, discovery);
    const QPointer<RSSFeed> guarded(feed);
    connect(discovery, &FeedDiscovery::finished, this, [this, guarded, feed, discovery] {
        m_discoveries.remove(feed);
        discovery->deleteLater();
        // A feed address, or one that failed, is left to the feed's own check to report.
        if (!guarded || rowOf(feed) < 0 || discovery->addressIsFeed() || discovery->feeds().isEmpty()) {
            return;
        }
        Q_EMIT feedsOffered(feed, discovery->feeds());
    });
    discovery->start();
}

void FeedTableModel::removeFeeds(const QList<int> &rows)
{
    QList<RSSFeed *> doomed;
    for (int row : rows) {
        if (RSSFeed *feed = feedAt(row); feed != nullptr && !doomed.contains(feed)) {
            doomed.append(feed);
        }
    }
    // Each deletion reloads the rows, so the feeds are picked before the first one goes.
    for (RSSFeed *feed : std::as_const(doomed)) {
        m_context->deleteObject(feed);
    }
}

OpmlTransfer::ImportResult FeedTableModel::subscribeAll(const QList<Subscription> &subscriptions)
{
    // Each new feed changes several values; one reload at the end keeps a long list's import quick.
    m_importing = true;
    const OpmlTransfer::ImportResult result = OpmlTransfer::subscribeAll(m_context, m_feeds, subscriptions);
    m_importing = false;
    reload();
    return result;
}

bool FeedTableModel::exportFile(const QString &path, QString *errorString) const
{
    return OpmlTransfer::exportFile(m_feeds, path, errorString);
}

void FeedTableModel::scheduleReload()
{
    if (m_reloadScheduled) {
        return;
    }
    m_reloadScheduled = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_reloadScheduled) {
                reload();
            }
        },
        Qt::QueuedConnection);
}

void FeedTableModel::reload()
{
    m_reloadScheduled = false;
    beginResetModel();
    const std::optional<QList<RSSFeed *>> feeds = RSSFeed::fetchFeeds(m_context);
    m_feeds = feeds.value_or(QList<RSSFeed *>());
    m_errorString = feeds ? QString() : m_context->errorString();
    endResetModel();
}

void FeedTableModel::onRecordChanged(Record *record, const QString &key)
{
    if (m_importing || &record->entity() != &RSSFeed::entityDescription()) {
        return;
    }
    const int row = rowOf(static_cast<RSSFeed *>(record));
    // A feed added elsewhere (an import, the command line) changes several values, and an
    // import over the session bus adds thousands a slice at a time: one reload answers them
    // all on the next turn of the event loop. A new name changes the order at once.
    if (row < 0) {
        scheduleReload();
        return;
    }
    if (key == QLatin1String("name")) {
        reload();
        return;
    }
    const int column = columnOf(key);
    if (column >= 0) {
        const QModelIndex changed = index(row, column);
        Q_EMIT dataChanged(changed, changed);
    }
}

void FeedTableModel::onObjectsDidChange(const QList<Record *> &deletedObjects)
{
    if (m_importing) {
        return;
    }
    const bool ours = std::any_of(deletedObjects.cbegin(), deletedObjects.cend(), [this](Record *record) {
        return &record->entity() == &RSSFeed::entityDescription() && rowOf(static_cast<RSSFeed *>(record)) >= 0;
    });
    if (ours) {
        reload();
    }
}
