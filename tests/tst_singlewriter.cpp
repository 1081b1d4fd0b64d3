#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/StoreLock.h"
#include "platform/dbus/DBusProgramService.h"
#include "support/HttpTestServer.h"
#include "support/ProgramRun.h"
#include "support/StoreFixture.h"
#include "support/TestSupport.h"

using namespace TestSupport;

namespace {

// The program's own messages on standard error. Under load Qt D-Bus now and then adds a line of
// its own ("Trying to construct an instance of an invalid type") while a refused command waits
// for the store's owner; the tests count what the user is told.
QStringList programMessages(const QString &err)
{
    return lines(err).filter(QRegularExpression(QStringLiteral("^rss-brevlin: ")));
}

QByteArray rssDocument(const QByteArray &guidPrefix)
{
    QByteArray xml = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>T</title>";
    for (const QByteArray number : {"1", "2"}) {
        xml += "<item><title>Entry " + number + "</title><guid>" + guidPrefix + number
            + "</guid><link>http://example.org/" + guidPrefix + number + "</link><pubDate>Mon, 02 Mar 2026 08:00:0"
            + number + " GMT</pubDate></item>";
    }
    return xml + "</channel></rss>";
}

// A long-running program started by a test, ended by the test (and killed if it must be).
class RunningProgram
{
public:
    explicit RunningProgram(const QStringList &arguments)
    {
        m_process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        QObject::connect(&m_process, &QProcess::readyReadStandardError,
                         [this] { m_err += QString::fromUtf8(m_process.readAllStandardError()); });
        m_process.start(binaryPath(), arguments);
    }
    ~RunningProgram()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    QProcess &process() { return m_process; }
    const QString &err() const { return m_err; }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }

private:
    QProcess m_process;
    QString m_err;
};

} // namespace

// One process at a time writes the store: the running program owns it, the command line's
// edits go to it over the session bus, and whatever else would write waits its turn or is refused.
class tst_SingleWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runningProgramAppliesEditsFromTheCommandLine();
    void feedRemovedDuringItsCheck();
    void largeImportIsAnsweredWhenDone();
    void nameWithoutTheLockGetsNothing();
    void twoStoresInOneSession();
    void briefHoldersAreWaitedFor_data();
    void briefHoldersAreWaitedFor();
    void secondHolderIsRefused_data();
    void secondHolderIsRefused();
    void twoChecksAtOnce();
    void secondTrayStartShowsTheFirst();
    void trayStartWaitsForACheck();
    void killedHolderLeavesNoLock();
    void editWithoutBusIsRefused();
    void storeOpeningMessages_data();
    void storeOpeningMessages();
    void storeIsMadePrivate();
    void symlinkedStoreTargetKeepsItsMode();
};

void tst_SingleWriter::runningProgramAppliesEditsFromTheCommandLine()
{
    TemporaryHome home;
    HttpTestServer server;
    for (const QByteArray name : {"a", "b", "c", "d"}) {
        server.setResponse("/" + name + ".xml", HttpTestResponse::ok(rssDocument(name)));
    }
    const auto url = [&server](const char *name) { return server.url(QStringLiteral("/%1.xml").arg(name)).toString(); };
    RUN_OK(addA, {"--add", url("a"), "--name", "A"});
    RUN_OK(addB, {"--add", url("b"), "--name", "B"});
    RunningProgram program({"--headless"});
    QTRY_VERIFY2_WITH_TIMEOUT(program.err().contains("checked 2 feeds"), qPrintable(program.err()), 30'000);

    // B's row id was the highest: a store that reused it would give it to C, and the running
    // program's next save would write B back over C.
    RUN_OK(removed, {"--remove", "B"});
    RUN_OK(added, {"--add", url("c"), "--name", "C", "--login", "kim", "--password", "pw"});
    const QString opml = home.path() + "/list.opml";
    QFile file(opml);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<opml version=\"2.0\"><body><outline text=\"D\" xmlUrl=\"" + url("d").toUtf8()
               + "\"/><outline text=\"Bad\" xmlUrl=\"javascript:alert(1)\"/></body></opml>");
    file.close();
    RUN_OK(imported, {"--import-opml", opml});
    QCOMPARE(imported.out, QString("added 1, skipped 1\n"));
    QVERIFY2(imported.err.contains("skipped 'javascript:alert(1)': not a feed address"), qPrintable(imported.err));
    RUN_OK(set, {"--set", "Maximum Entry History Count", "7"});
    // The password goes only to the program that holds the lock.
    const Outcome edited =
        runProgram({"--edit", "A", "--notify", "no", "--interval", "600", "--login", "kate", "--password-stdin"},
                   60'000, QProcessEnvironment::systemEnvironment(), "pw2\n");
    QVERIFY2(edited.finished && edited.exitCode == 0, qPrintable(describe(edited)));
    const Outcome nobody = runProgram({"--edit", "Nobody", "--notify", "no"});
    QCOMPARE(nobody.exitCode, 1);
    QVERIFY2(nobody.err.contains("no feed has the URL or name 'Nobody'"), qPrintable(nobody.err));
    // A refusal reads as it would without the running program, exit code included.
    const Outcome badKey = runProgram({"--set", "NoSuchKey", "1"});
    QCOMPARE(badKey.exitCode, 2);
    QVERIFY2(badKey.err.contains("no preference is called 'NoSuchKey'"), qPrintable(badKey.err));
    const Outcome twice = runProgram({"--add", url("c")});
    QCOMPARE(twice.exitCode, 1);
    QVERIFY2(twice.err.contains("already subscribed"), qPrintable(twice.err));

    // The readers take no lock and see what the program saved.
    const QStringList expected{"A\t" + url("a"), "C\t" + url("c"), "D\t" + url("d")};
    const auto names = [](const QString &listing) {
        QStringList kept;
        for (const QString &line : lines(listing)) {
            kept.append(line.section(QLatin1Char('\t'), 0, 1));
        }
        return kept;
    };
    RUN_OK(listed, {"--list"});
    QCOMPARE(names(listed.out), expected);
    for (const QStringList &reader :
         {QStringList{"--dump-json"}, QStringList{"--export-opml"}, QStringList{"--print-menu"},
          QStringList{"--get", "Maximum Entry History Count"}}) {
        RUN_OK(read, reader);
        QVERIFY2(!read.out.isEmpty(), qPrintable(reader.join(' ')));
    }
    RUN_OK(history, {"--get", "Maximum Entry History Count"});
    QCOMPARE(history.out, QString("7\n"));

    // The program's own saves (its checks, and the one at quit) keep C and leave B gone.
    program.signal(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(program.process().state(), QProcess::NotRunning, 15'000);
    QCOMPARE(program.process().exitCode(), 0);
    RUN_OK(after, {"--list"});
    QCOMPARE(names(after.out), expected);
    QCOMPARE(countRows(storePath(home),
                       "SELECT count(*) FROM RSSFeed WHERE name = 'A' AND notify = 0 AND interval = 600 "
                       "AND login = 'kate' AND password = 'pw2'"),
             1);
    QCOMPARE(countRows(storePath(home),
                       "SELECT count(*) FROM RSSFeed WHERE name = 'C' AND login = 'kim' "
                       "AND password = 'pw'"),
             1);
    QCOMPARE(countRows(storePath(home), "SELECT count(*) FROM RSSItem WHERE guid LIKE 'b%'"), 0);
    RUN_OK(historyAfter, {"--get", "Maximum Entry History Count"});
    QCOMPARE(historyAfter.out, QString("7\n"));
}

// Guards a use-after-free: the round of checks kept the removed feed, freed by the program's
// save, and read it when the round ended. The removed feed leaves the round, which ends at once.
void tst_SingleWriter::feedRemovedDuringItsCheck()
{
    TemporaryHome home;
    HttpTestServer server;
    server.setResponse("/news.xml", HttpTestResponse::ok(rssDocument("n")));
    server.setResponse("/slow.xml",
                       HttpTestResponse::ok(rssDocument("s")).withDelivery(HttpTestResponse::Delivery::NeverAnswer));
    RUN_OK(addNews, {"--add", server.url("/news.xml").toString(), "--name", "News"});
    RUN_OK(addSlow, {"--add", server.url("/slow.xml").toString(), "--name", "Slow"});
    RunningProgram program({"--headless"});
    QTRY_VERIFY_WITH_TIMEOUT(!server.requests("/slow.xml").isEmpty(), 30'000);
    QTRY_COMPARE_WITH_TIMEOUT(countRows(storePath(home), "SELECT count(*) FROM RSSItem"), 2, 30'000);

    RUN_OK(removed, {"--remove", "Slow"});
    QTRY_VERIFY2_WITH_TIMEOUT(program.err().contains("checked 1 feeds: 2 new entries, 0 failed"),
                              qPrintable(program.err()), 15'000);
    program.signal(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(program.process().state(), QProcess::NotRunning, 15'000);
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
    RUN_OK(listed, {"--list"});
    QCOMPARE(lines(listed.out).size(), 1);
}

// Guards a false answer: an import that outlasted the command's wait was reported as "nothing
// changed" and then made. The command waits for the program's own answer, and the program,
// importing a slice at a time, answers other commands meanwhile.
void tst_SingleWriter::largeImportIsAnsweredWhenDone()
{
    constexpr int outlines = 40'000;
    TemporaryHome home;
    RunningProgram program({"--headless"});
    QTRY_VERIFY2_WITH_TIMEOUT(program.err().contains("checking 0 feeds"), qPrintable(program.err()), 30'000);
    const QString opml = home.path() + "/large.opml";
    QFile file(opml);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<opml version=\"2.0\"><body>");
    // Port 9 of this machine refuses at once: the program's first checks of the new feeds end quickly.
    for (int number = 0; number < outlines; ++number) {
        file.write(QStringLiteral("<outline text=\"F%1\" xmlUrl=\"http://127.0.0.1:9/%1.xml\"/>").arg(number).toUtf8());
    }
    file.write("</body></opml>");
    file.close();

    RunningProgram import({"--import-opml", opml});
    const Outcome during = runProgram({"--add", "https://example.org/during.xml"}, 60'000);
    QTRY_COMPARE_WITH_TIMEOUT(import.process().state(), QProcess::NotRunning, 120'000);
    QVERIFY2(import.process().exitCode() == 0, qPrintable(import.err()));
    QCOMPARE(QString::fromUtf8(import.process().readAllStandardOutput()),
             QStringLiteral("added %1, skipped 0\n").arg(outlines));
    QVERIFY2(during.finished && during.exitCode == 0, qPrintable(describe(during)));
    RUN_OK(listed, {"--list"});
    QCOMPARE(lines(listed.out).size(), outlines + 1);
    program.signal(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(program.process().state(), QProcess::NotRunning, 30'000);
}

// Guards a leak of passwords: any process of the session may claim a bus name, and one that
// claimed the program's got --add's password and answered success while nothing was added.
// Here a check holds the store, and this test claims the store's name.
void tst_SingleWriter::nameWithoutTheLockGetsNothing()
{
    TemporaryHome home;
    HttpTestServer server;
    server.setResponse("/slow.xml",
                       HttpTestResponse::ok(rssDocument("s")).withDelivery(HttpTestResponse::Delivery::NeverAnswer));
    RUN_OK(added, {"--add", server.url("/slow.xml").toString()});
    RunningProgram check({"--check-once", "--quiet-notifications"});
    QTRY_VERIFY_WITH_TIMEOUT(!server.requests("/slow.xml").isEmpty(), 30'000);
    DBusProgramService impostor;
    QVERIFY(impostor.registerProgram(storePath(home)));
    int edits = 0;
    impostor.setEditHandler(storePath(home), [&edits](const StoreEdit &, const ProgramService::EditReply &reply) {
        ++edits;
        reply({0, QString(), {}});
    });

    const Outcome outcome = runProgram({"--add", "https://example.org/other.xml", "--password-stdin"}, 30'000,
                                       QProcessEnvironment::systemEnvironment(), QByteArray("secret\n"));
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.err.contains("nothing changed") && outcome.err.contains("does not hold its lock (held by pid "),
             qPrintable(outcome.err));
    QCOMPARE(edits, 0);
    check.signal(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(check.process().state(), QProcess::NotRunning, 15'000);
}

// Two programs on two stores of one session (two XDG_DATA_HOME): each gets the edits for its own.
void tst_SingleWriter::twoStoresInOneSession()
{
    TemporaryHome first;
    RunningProgram one({"--headless"});
    QTRY_VERIFY2_WITH_TIMEOUT(one.err().contains("checking 0 feeds"), qPrintable(one.err()), 30'000);
    {
        TemporaryHome second;
        RunningProgram two({"--headless"});
        QTRY_VERIFY2_WITH_TIMEOUT(two.err().contains("checking 0 feeds"), qPrintable(two.err()), 30'000);
        RUN_OK(added, {"--add", "https://example.org/second.xml", "--password-stdin"}, 30'000,
               QProcessEnvironment::systemEnvironment(), QByteArray("pw\n"));
        two.signal(SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(two.process().state(), QProcess::NotRunning, 15'000);
        QCOMPARE(countRows(storePath(second), "SELECT count(*) FROM RSSFeed WHERE password = 'pw'"), 1);
    }
    RUN_OK(listed, {"--list"});
    QCOMPARE(listed.out, QString());
    one.signal(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(one.process().state(), QProcess::NotRunning, 15'000);
}

void tst_SingleWriter::briefHoldersAreWaitedFor_data()
{
    QTest::addColumn<QString>("holder");
    QTest::newRow("--add beside a program that has the lock but no bus name yet") << "starting program";
    QTest::newRow("--headless beside an edit that ends in a moment") << "edit";
    QTest::newRow("--set beside a check, which takes no edits") << "check";
}

// This test holds the store's lock, standing in for the holder.
void tst_SingleWriter::briefHoldersAreWaitedFor()
{
    QFETCH(QString, holder);
    TemporaryHome home;
    QVERIFY(QDir().mkpath(storeFolder(home)));
    StoreLock lock(storePath(home));
    QCOMPARE(lock.tryLock(), StoreLock::Outcome::Locked);
    if (holder == "starting program") {
        DBusProgramService program;
        QStringList edits;
        program.setEditHandler(storePath(home),
                               [&edits](const StoreEdit &edit, const ProgramService::EditReply &reply) {
                                   edits.append(edit.argument);
                                   reply({0, QString(), {}});
                               });
        QTimer::singleShot(1000, &program, [&program, &home] { QVERIFY(program.registerProgram(storePath(home))); });
        RUN_OK(added, {"--add", "https://example.org/feed.xml"}, 30'000);
        QCOMPARE(edits, QStringList{"https://example.org/feed.xml"});
    } else if (holder == "edit") {
        QTimer release;
        release.setSingleShot(true);
        connect(&release, &QTimer::timeout, [&lock] { lock.unlock(); });
        release.start(1000);
        RunningProgram program({"--headless"});
        QTRY_VERIFY2_WITH_TIMEOUT(program.err().contains("checking 0 feeds"), qPrintable(program.err()), 30'000);
        program.signal(SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(program.process().state(), QProcess::NotRunning, 15'000);
        QCOMPARE(program.process().exitCode(), 0);
    } else {
        RUN_OK(set, {"--set", "Maximum Entry History Count", "7"}, 30'000);
        RUN_OK(history, {"--get", "Maximum Entry History Count"});
        QCOMPARE(history.out, QString("7\n"));
    }
}

void tst_SingleWriter::secondHolderIsRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("--headless") << QStringList{"--headless"} << "another RSS Brevlin runs on the store";
    QTest::newRow("--check-once") << QStringList{"--check-once"} << "another RSS Brevlin runs on the store";
}

// Held here through the lock alone: whoever holds it, a second long-running writer stays out.
void tst_SingleWriter::secondHolderIsRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    TemporaryHome home;
    RUN_OK(added, {"--add", "https://example.org/feed.xml"});
    StoreLock lock(storePath(home));
    QCOMPARE(lock.tryLock(), StoreLock::Outcome::Locked);
    const QByteArray before = fileBytes(storePath(home));
    const Outcome outcome = runProgram(arguments, 30'000);
    QVERIFY2(outcome.finished, qPrintable(describe(outcome)));
    QCOMPARE(outcome.exitCode, 1);
    QCOMPARE(programMessages(outcome.err).size(), 1);
    QVERIFY2(outcome.err.contains(message) && outcome.err.contains(storePath(home)), qPrintable(outcome.err));
    QCOMPARE(fileBytes(storePath(home)), before);
}

void tst_SingleWriter::twoChecksAtOnce()
{
    TemporaryHome home;
    HttpTestServer server;
    server.setResponse("/news.xml", HttpTestResponse::ok(rssDocument("n")));
    server.setResponse("/slow.xml",
                       HttpTestResponse::ok(rssDocument("s")).withDelivery(HttpTestResponse::Delivery::NeverAnswer));
    RUN_OK(addNews, {"--add", server.url("/news.xml").toString()});
    RUN_OK(addSlow, {"--add", server.url("/slow.xml").toString()});
    RunningProgram first({"--check-once", "--quiet-notifications"});
    QTRY_VERIFY_WITH_TIMEOUT(!server.requests("/slow.xml").isEmpty(), 30'000);
    QTRY_VERIFY_WITH_TIMEOUT(!server.requests("/news.xml").isEmpty(), 30'000);

    const Outcome second = runProgram({"--check-once", "--quiet-notifications"}, 30'000);
    QCOMPARE(second.exitCode, 1);
    QVERIFY2(programMessages(second.err).size() == 1 && second.err.contains("another RSS Brevlin runs on the store"),
             qPrintable(second.err));
    QCOMPARE(second.out, QString());

    // The first check has had its fast feed's document for a while: on a loaded machine its
    // parse may still be waiting for the event loop.
    QTest::qWait(500);
    first.signal(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(first.process().state(), QProcess::NotRunning, 15'000);
    QCOMPARE(server.requests("/news.xml").size(), 1);
    QVERIFY2(first.err().contains("stopped by signal"), qPrintable(first.err()));
    QCOMPARE(countRows(storePath(home), "SELECT count(*) FROM RSSItem"), 2);
    QCOMPARE(countRows(storePath(home), "SELECT count(*) - count(DISTINCT guid) FROM RSSItem"), 0);
}

// The first program here is this test's own stand-in on the bus, holding the store's lock.
void tst_SingleWriter::secondTrayStartShowsTheFirst()
{
    TemporaryHome home;
    QVERIFY(QDir().mkpath(storeFolder(home)));
    StoreLock lock(storePath(home));
    QCOMPARE(lock.tryLock(), StoreLock::Outcome::Locked);
    {
        DBusProgramService tray;
        QVERIFY(tray.registerProgram(storePath(home)));
        QSignalSpy shown(&tray, &ProgramService::showSubscriptionsRequested);
        const Outcome second = runProgram({}, 30'000);
        QVERIFY2(second.finished && second.exitCode == 0, qPrintable(describe(second)));
        QCOMPARE(shown.count(), 1);
    }
    {
        // A program without windows (--headless) cannot show one: the second start says so
        // rather than end as if a window had come forward.
        DBusProgramService headless;
        QVERIFY(headless.registerProgram(storePath(home)));
        const Outcome second = runProgram({}, 30'000);
        QCOMPARE(second.exitCode, 1);
        QVERIFY2(second.err.contains("has no windows"), qPrintable(describe(second)));
    }
}

// Nobody on the bus holds the store: a check from the command line, which ends soon. The tray
// program waits for it and then starts, instead of ending where nobody reads its message.
void tst_SingleWriter::trayStartWaitsForACheck()
{
    TemporaryHome home;
    QVERIFY(QDir().mkpath(storeFolder(home)));
    StoreLock check(storePath(home));
    QCOMPARE(check.tryLock(), StoreLock::Outcome::Locked);
    RunningProgram tray({});
    QTRY_VERIFY_WITH_TIMEOUT(tray.err().contains("waiting for the check"), 15'000);
    QTest::qWait(1000);
    QCOMPARE(tray.process().state(), QProcess::Running);
    QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
        DBusProgramService::serviceNameFor(storePath(home))));

    check.unlock();
    QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(
                                 DBusProgramService::serviceNameFor(storePath(home))),
                             15'000);
    tray.signal(SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(tray.process().state(), QProcess::NotRunning, 15'000);
    QCOMPARE(tray.process().exitCode(), 0);
}

void tst_SingleWriter::killedHolderLeavesNoLock()
{
    TemporaryHome home;
    RUN_OK(added, {"--add", "https://example.org/feed.xml", "--name", "Kept"});
    {
        RunningProgram program({"--headless"});
        QTRY_VERIFY2_WITH_TIMEOUT(program.err().contains("checking 1 feeds"), qPrintable(program.err()), 30'000);
        program.signal(SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(program.process().state(), QProcess::NotRunning, 15'000);
    }
    StoreLock lock(storePath(home));
    QCOMPARE(lock.tryLock(), StoreLock::Outcome::Locked);
    lock.unlock();
    RUN_OK(removed, {"--remove", "Kept"});
    RUN_OK(listed, {"--list"});
    QCOMPARE(listed.out, QString());
}

void tst_SingleWriter::editWithoutBusIsRefused()
{
    TemporaryHome home;
    RUN_OK(added, {"--add", "https://example.org/feed.xml"});
    StoreLock lock(storePath(home));
    QCOMPARE(lock.tryLock(), StoreLock::Outcome::Locked);
    const QByteArray before = fileBytes(storePath(home));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.remove(QStringLiteral("DISPLAY"));
    for (const QStringList &edit : {QStringList{"--add", "https://example.org/other.xml"},
                                    QStringList{"--remove", "https://example.org/feed.xml"},
                                    QStringList{"--set", "Maximum Entry History Count", "3"}}) {
        const Outcome outcome = runProgram(edit, 30'000, environment);
        QCOMPARE(outcome.exitCode, 1);
        QCOMPARE(programMessages(outcome.err).size(), 1);
        QVERIFY2(outcome.err.contains("nothing changed: another RSS Brevlin process is using the store"),
                 qPrintable(outcome.err));
        QCOMPARE(fileBytes(storePath(home)), before);
    }
    // The readers still work.
    const Outcome listed = runProgram({"--list"}, 30'000, environment);
    QCOMPARE(listed.exitCode, 0);
    QCOMPARE(lines(listed.out).size(), 1);
}

void tst_SingleWriter::storeOpeningMessages_data()
{
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QString>("message");
    QTest::newRow("store locked by another program") << "busy"
                                                     << "is in use by another program";
    QTest::newRow("data folder cannot be made") << "data home is a file"
                                                << "cannot be created: Not a directory";
    QTest::newRow("data folder not writable") << "read-only data home"
                                              << "cannot be created: Permission denied";
    QTest::newRow("dangling symbolic link") << "dangling link"
                                            << "is a symbolic link to \"%1/missing.sql\", which does not exist";
}

// Each message names its cause and the file or folder it concerns.
void tst_SingleWriter::storeOpeningMessages()
{
    QFETCH(QString, setUp);
    QFETCH(QString, message);
    TemporaryHome home;
    QString named = storePath(home);
    QSqlDatabase holder;
    if (setUp == "busy") {
        RUN_OK(added, {"--add", "https://example.org/feed.xml"});
        holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
        holder.setDatabaseName(storePath(home));
        QVERIFY(holder.open());
        QVERIFY(QSqlQuery(holder).exec("BEGIN EXCLUSIVE"));
    } else if (setUp == "data home is a file") {
        QFile file(home.dataHome());
        QVERIFY(file.open(QIODevice::WriteOnly));
        named = storeFolder(home);
    } else if (setUp == "read-only data home") {
        if (::geteuid() == 0) {
            QSKIP("root may write anywhere");
        }
        QVERIFY(QDir().mkpath(home.dataHome()));
        QVERIFY(QFile::setPermissions(home.dataHome(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        named = storeFolder(home);
    } else {
        QVERIFY(QDir().mkpath(storeFolder(home)));
        QVERIFY(QFile::link(home.path() + "/missing.sql", storePath(home)));
        message = message.arg(home.path());
    }
    const Outcome outcome = runProgram({"--list"}, 30'000);
    if (holder.isOpen()) {
        QSqlQuery(holder).exec("ROLLBACK");
        holder.close();
    }
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase("holder");
    QFile::setPermissions(home.dataHome(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(outcome.exitCode, 1);
    QCOMPARE(programMessages(outcome.err).size(), 1);
    QVERIFY2(outcome.err.contains(message) && outcome.err.contains(named), qPrintable(outcome.err));
}

// A store or folder that an older version or the user left open to others is closed at the next open.
void tst_SingleWriter::storeIsMadePrivate()
{
    TemporaryHome home;
    RUN_OK(added, {"--add", "https://example.org/feed.xml", "--password", "secret"});
    QCOMPARE(permissionsOf(storePath(home)), 0600);
    QCOMPARE(permissionsOf(storeFolder(home)), 0700);
    QCOMPARE(permissionsOf(storePath(home) + ".lock"), 0600);
    QCOMPARE(::chmod(QFile::encodeName(storePath(home)).constData(), 0644), 0);
    QCOMPARE(::chmod(QFile::encodeName(storeFolder(home)).constData(), 0777), 0);
    RUN_OK(listed, {"--list"});
    QCOMPARE(permissionsOf(storePath(home)), 0600);
    QCOMPARE(permissionsOf(storeFolder(home)), 0700);
}

// A store that is a link to a file set up elsewhere is used, but its mode is not ours to change.
void tst_SingleWriter::symlinkedStoreTargetKeepsItsMode()
{
    TemporaryHome home;
    RUN_OK(added, {"--add", "https://example.org/feed.xml"});
    const QString elsewhere = home.path() + "/elsewhere.sql";
    QVERIFY(QFile::rename(storePath(home), elsewhere));
    QCOMPARE(::chmod(QFile::encodeName(elsewhere).constData(), 0640), 0);
    QVERIFY(QFile::link(elsewhere, storePath(home)));
    RUN_OK(listed, {"--list"});
    QCOMPARE(lines(listed.out).size(), 1);
    QCOMPARE(permissionsOf(elsewhere), 0640);
}

QTEST_GUILESS_MAIN(tst_SingleWriter)
#include "tst_singlewriter.moc"
