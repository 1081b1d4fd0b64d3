#pragma once

#include <QObject>
#include <QPointer>

class FeedCheckRound;
class QTimer;
class RSSFeed;
class Rss_Brevlin_AppDelegate;
class UnixSignalWatcher;

// The program without its tray icon: the start-up check of every feed, then a check every
// "Check Interval" seconds (at least 30), the store saved after every parsed document,
// until SIGTERM, SIGINT or SIGHUP ask it to quit, which it does in order, saving.
// Writes one line to standard error per check and per failing feed.
class HeadlessProgram : public QObject
{
    Q_OBJECT
public:
    explicit HeadlessProgram(Rss_Brevlin_AppDelegate *delegate, QObject *parent = nullptr);
    ~HeadlessProgram() override;

    // Loads the feeds and starts checking; false when the store cannot be used.
    bool start();
    // The process's exit code once finished() was emitted.
    int exitCode() const { return m_exitCode; }

Q_SIGNALS:
    void finished();

private:
    void recreateTimer();
    void checkFeeds();
    void onFeedChecked(RSSFeed *feed);
    void onRoundFinished();
    void quit(int signalNumber);

    Rss_Brevlin_AppDelegate *m_delegate;
    QTimer *m_checkFeedsTimer;
    UnixSignalWatcher *m_signalWatcher;
    QPointer<FeedCheckRound> m_round;
    int m_exitCode = 0;
};
