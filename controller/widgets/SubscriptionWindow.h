#pragma once

#include "controller/widgets/BrevlinWindow.h"

class Alerts;
class FeedTableModel;
class RSSFeed;
struct DiscoveredFeed;
class ObjectContext;
class QLabel;
class QTableView;

// The subscription manager: the feeds as an editable table, with adding, removing,
// undo, a check of all feeds and OPML import and export.
class SubscriptionWindow : public BrevlinWindow
{
    Q_OBJECT
public:
    SubscriptionWindow(ObjectContext *context, Alerts *alerts, QWidget *parent = nullptr);

    FeedTableModel *model() const { return m_model; }
    QTableView *table() const { return m_table; }
    // Says what the user should know about the subscriptions as a whole: the keyring's absence.
    QLabel *status() const { return m_status; }

    // Subscribes to the feeds of an OPML file; tells the user what could not be read or used.
    bool importOpml(const QString &path);
    bool exportOpml(const QString &path);

    void addFeed();
    void removeSelectedFeeds();

Q_SIGNALS:
    void checkAllRequested();

private:
    // When a typed address is a web page: the user picks one of its feeds, or keeps the page.
    void offerFeeds(RSSFeed *feed, const QList<DiscoveredFeed> &feeds);
    void chooseImportFile();
    void chooseExportFile();
    QWidget *createButtons(ObjectContext *context);

    Alerts *m_alerts;
    FeedTableModel *m_model;
    QTableView *m_table;
    QLabel *m_status;
};
