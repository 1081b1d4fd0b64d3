#include "controller/widgets/SubscriptionWindow.h"

#include <QAction>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

#include "controller/FeedTableModel.h"
#include "controller/widgets/PasswordDelegate.h"
#include "model/FeedDiscovery.h"
#include "model/FeedPasswords.h"
#include "model/OpmlReader.h"
#include "model/RSSFeed.h"
#include "platform/Alerts.h"
#include "store/ObjectContext.h"

SubscriptionWindow::SubscriptionWindow(ObjectContext *context, Alerts *alerts, QWidget *parent)
    : BrevlinWindow(parent)
    , m_alerts(alerts)
    , m_model(new FeedTableModel(context, this))
    , m_table(new QTableView(this))
    , m_status(new QLabel(this))
{
    setWindowTitle(tr("Subscriptions"));
    setFloating(true);

    m_table->setModel(m_model);
    m_table->setItemDelegateForColumn(FeedTableModel::PasswordColumn,
                                      new PasswordDelegate(FeedTableModel::PasswordRole, m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                             | QAbstractItemView::AnyKeyPressed);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    QHeaderView *header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(FeedTableModel::UrlColumn, QHeaderView::Stretch);
    header->resizeSection(FeedTableModel::NameColumn, 200);
    header->resizeSection(FeedTableModel::LoginColumn, 100);
    header->resizeSection(FeedTableModel::PasswordColumn, 100);
    header->resizeSection(FeedTableModel::StatusColumn, 180);
    header->setSectionResizeMode(FeedTableModel::ShowInRecentListColumn, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(FeedTableModel::NotifyColumn, QHeaderView::ResizeToContents);
    header->resizeSection(FeedTableModel::IntervalColumn, 180);

    connect(m_model, &FeedTableModel::unusableAddress, this, [this](const QString &url) {
        m_alerts->presentError(
            tr("\"%1\" is not a feed address. Use an http://, https:// or file:// address.").arg(url));
    });

    connect(m_model, &FeedTableModel::feedsOffered, this, &SubscriptionWindow::offerFeeds);

    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    const auto showStatus = [this](const QString &message) {
        m_status->setText(message);
        m_status->setVisible(!message.isEmpty());
    };
    showStatus(FeedPasswords::instance()->unavailableMessage());
    connect(FeedPasswords::instance(), &FeedPasswords::keyringUnavailable, this, showStatus);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(m_status);
    layout->addWidget(createButtons(context));
    // A window opened from the tray has no main window to inherit a size from.
    resize(1150, 400);

    context->addEditingCommitter(this, [this] {
        commitFocusedEditor();
        return true;
    });
}

QWidget *SubscriptionWindow::createButtons(ObjectContext *context)
{
    auto *buttons = new QWidget(this);
    auto *row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);

    auto *add = new QPushButton(tr("Add"), buttons);
    auto *remove = new QPushButton(tr("Remove"), buttons);
    connect(add, &QPushButton::clicked, this, &SubscriptionWindow::addFeed);
    connect(remove, &QPushButton::clicked, this, &SubscriptionWindow::removeSelectedFeeds);
    row->addWidget(add);
    row->addWidget(remove);

    // The actions live on the window so their shortcuts work wherever the focus is in it.
    const auto addUndoAction = [this, buttons, row](QAction *action, QKeySequence::StandardKey shortcut) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        auto *button = new QToolButton(buttons);
        button->setDefaultAction(action);
        row->addWidget(button);
    };
    addUndoAction(context->undoManager()->createUndoAction(this, tr("Undo")), QKeySequence::Undo);
    addUndoAction(context->undoManager()->createRedoAction(this, tr("Redo")), QKeySequence::Redo);
    row->addStretch();

    auto *check = new QPushButton(tr("Check All Now"), buttons);
    auto *import = new QPushButton(tr("Import OPML..."), buttons);
    auto *exportButton = new QPushButton(tr("Export OPML..."), buttons);
    connect(check, &QPushButton::clicked, this, &SubscriptionWindow::checkAllRequested);
    connect(import, &QPushButton::clicked, this, &SubscriptionWindow::chooseImportFile);
    connect(exportButton, &QPushButton::clicked, this, &SubscriptionWindow::chooseExportFile);
    row->addWidget(check);
    row->addWidget(import);
    row->addWidget(exportButton);
    return buttons;
}

void SubscriptionWindow::offerFeeds(RSSFeed *feed, const QList<DiscoveredFeed> &feeds)
{
    QStringList choices;
    for (const DiscoveredFeed &offered : feeds) {
        const QString address = offered.url.toString();
        choices.append(offered.title.isEmpty() ? address : tr("%1 (%2)").arg(offered.title, address));
    }
    const int chosen = m_alerts->chooseItem(
        tr("Choose a feed"),
        tr("\"%1\" is a web page, not a feed. It offers these feeds:").arg(feed->url().value_or(QString())), choices);
    if (chosen >= 0 && chosen < feeds.size()) {
        m_model->useOfferedFeed(feed, feeds.at(chosen).url);
    }
}

void SubscriptionWindow::addFeed()
{
    commitFocusedEditor();
    const QModelIndex added = m_model->addFeed();
    m_table->setCurrentIndex(added);
    m_table->scrollTo(added);
    m_table->edit(added);
}

void SubscriptionWindow::removeSelectedFeeds()
{
    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    m_model->removeFeeds(rows);
}

bool SubscriptionWindow::importOpml(const QString &path)
{
    QString error;
    const std::optional<QList<Subscription>> subscriptions = OpmlReader::readFile(path, &error);
    if (!subscriptions) {
        m_alerts->presentError(tr("Could not import %1: %2").arg(path, error));
        return false;
    }
    const OpmlTransfer::ImportResult result = m_model->subscribeAll(*subscriptions);
    if (!result.unusableAddresses.isEmpty()) {
        m_alerts->presentError(
            tr("Added %n feed(s). These entries are not feed addresses and were skipped:\n%1", "", result.added)
                .arg(result.unusableAddresses.join(QLatin1Char('\n'))));
    }
    return true;
}

bool SubscriptionWindow::exportOpml(const QString &path)
{
    QString error;
    if (!m_model->exportFile(path, &error)) {
        m_alerts->presentError(tr("Could not export to %1: %2").arg(path, error));
        return false;
    }
    return true;
}

void SubscriptionWindow::chooseImportFile()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Import OPML"), QString(),
                                                      tr("OPML files (*.opml *.xml);;All files (*)"));
    if (!path.isEmpty()) {
        importOpml(path);
    }
}

void SubscriptionWindow::chooseExportFile()
{
    commitFocusedEditor();
    const QString path = QFileDialog::getSaveFileName(this, tr("Export OPML"), QStringLiteral("subscriptions.opml"),
                                                      tr("OPML files (*.opml);;All files (*)"));
    if (!path.isEmpty()) {
        exportOpml(path);
    }
}
