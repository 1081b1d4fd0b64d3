#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>

// A folder of generated RSS documents served by a web server in another process on
// 127.0.0.1, with an OPML file subscribing to all of them.
namespace Bench {

inline QByteArray generatedFeed(int feed, int items, int extraTextBytes)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel>\n<title>Bench feed "
        + QByteArray::number(feed) + "</title>\n<link>http://bench.example.org/" + QByteArray::number(feed)
        + "/</link>\n<generator>bench</generator>\n";
    const QDateTime newest(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());
    // Words as a long summary has them, escaped as feeds send HTML; they come first, so that the
    // sub-link at the end takes only the few words after it.
    QByteArray filler;
    while (filler.size() < extraTextBytes) {
        filler += "&lt;p&gt;More words of a longer summary, as some feeds send whole articles.&lt;/p&gt;";
    }
    for (int i = 0; i < items; ++i) {
        const QByteArray id = QByteArray::number(feed) + '-' + QByteArray::number(i);
        xml += "<item><title>Entry " + id + " about &amp; things</title><link>http://bench.example.org/" + id
            + "</link><guid isPermaLink=\"false\">bench-" + id + "</guid><pubDate>"
            + newest.addSecs(-3600LL * i - 60LL * feed).toString(Qt::RFC2822Date).toLatin1()
            + "</pubDate><author>writer@example.org (Writer " + QByteArray::number(i % 7) + ")</author><description>"
            + filler + "&lt;p&gt;Paragraph of entry " + id + " with a &lt;a href=\"http://bench.example.org/more/" + id
            + "\"&gt;link&lt;/a&gt; and some words to make it the length of a real summary, more or less, as "
              "feeds send them.&lt;/p&gt;&lt;p&gt;See rdar://problem/"
            + QByteArray::number(1000 + i) + " for details.&lt;/p&gt;</description></item>\n";
    }
    return xml + "</channel></rss>\n";
}

class FeedSite
{
public:
    FeedSite(int feeds, int items, int extraTextBytes)
    {
        const QString site = m_dir.filePath(QStringLiteral("site"));
        QDir().mkpath(site);
        m_port = freePort();
        QByteArray opml = "<?xml version=\"1.0\"?>\n<opml version=\"2.0\"><head><title>bench</title></head><body>\n";
        for (int feed = 0; feed < feeds; ++feed) {
            const QString name = QStringLiteral("feed-%1.xml").arg(feed);
            writeFile(site + QLatin1Char('/') + name, generatedFeed(feed, items, extraTextBytes));
            opml += "<outline type=\"rss\" text=\"Feed " + QByteArray::number(feed)
                + "\" xmlUrl=\"http://127.0.0.1:" + QByteArray::number(m_port) + '/' + name.toLatin1() + "\"/>\n";
        }
        writeFile(opmlPath(), opml + "</body></opml>\n");
        m_server.setStandardOutputFile(QProcess::nullDevice());
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.start(QStringLiteral("python3"),
                       {QStringLiteral("-m"), QStringLiteral("http.server"), QStringLiteral("--bind"),
                        QStringLiteral("127.0.0.1"), QStringLiteral("--directory"), site, QString::number(m_port)});
        m_running = m_server.waitForStarted() && waitForServer();
    }
    ~FeedSite()
    {
        m_server.terminate();
        m_server.waitForFinished();
    }
    FeedSite(const FeedSite &) = delete;
    FeedSite &operator=(const FeedSite &) = delete;

    bool isRunning() const { return m_running; }
    QString opmlPath() const { return m_dir.filePath(QStringLiteral("feeds.opml")); }

private:
    static bool writeFile(const QString &path, const QByteArray &data)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
    }
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }
    bool waitForServer() const
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(100)) {
                return true;
            }
            QThread::msleep(100);
        }
        return false;
    }

    QTemporaryDir m_dir;
    quint16 m_port = 0;
    QProcess m_server;
    bool m_running = false;
};

} // namespace Bench
