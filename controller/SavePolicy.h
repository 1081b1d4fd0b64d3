#pragma once

#include <QObject>

class FeedCheckRound;
class QAbstractItemModel;
class QTimer;

// When the running program saves its store, the tray and --headless alike: after each document
// a check parsed, so that ending the session loses nothing already announced; at once when a
// password left the store file for the keyring; and a moment after the last edit of the
// subscriptions, not only when a check ends or the program quits. The save itself, and what a
// failed one shows, belong to whoever connects saveDue().
class SavePolicy : public QObject
{
    Q_OBJECT
public:
    explicit SavePolicy(QObject *parent = nullptr);

    void followRound(FeedCheckRound *round);
    // Each change of the model is an edit; a burst of them is saved once, after the last.
    void followEdits(QAbstractItemModel *model);

Q_SIGNALS:
    void saveDue();

private:
    QTimer *m_editsSettled;
};
