#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <csignal>

#include "support/HttpTestServer.h"
#include "support/StoreFixture.h"
#include "support/TestSupport.h"

using namespace TestSupport;

namespace {

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
    bool finished = false;
};

// Runs the real program as a child with the current (temporary) XDG folders, keeping this
// process's event loop turning so that the test's HTTP server answers meanwhile.
Outcome runProgram(const QStringList &arguments, int timeoutMs = 120'000)
{
    QProcess process;
    process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    process.start(binaryPath(), arguments);
    if (process.state() != QProcess::NotRunning) {
        loop.exec();
    }
    Outcome outcome;
    outcome.finished = process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
    if (!outcome.finished) {
        process.kill();
        process.waitForFinished();
    }
    outcome.exitCode = process.exitCode();
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

QString describe(const Outcome &outcome)
{
    return QStringLiteral("exit %1, stdout [%2], stderr [%3]").arg(outcome.exitCode).arg(outcome.out, outcome.err);
}

QString storePath(const TemporaryHome &home)
{
    return home.dataHome() + QStringLiteral("/Rss_Brevlin/Rss_Brevlin.sql");
}

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

#define RUN_OK(outcome, ...)                                                                                     \
    const Outcome outcome = runProgram(__VA_ARGS__);                                                            \
    QVERIFY2(outcome.finished && outcome.exitCode == 0, qPrintable(describe(outcome)))

// The program's command line, through the real binary against temporary folders.
class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void badInput_data();
    void badInput();
    void helpAndVersion();
    void addAndList();
    void remove();
    void preferences_data();
    void preferences();
    void opmlImportAndExport();
    void hostileOpmlAddsNothing_data();
    void hostileOpmlAddsNothing();
};

void tst_CommandLine::badInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // a part of the one line on standard error

    const QString missing = QDir::tempPath() + QStringLiteral("/no-such-file.opml");
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << "unknown option '--frobnicate'";
    QTest::newRow("single-dash option") << QStringList{"-x"} << 2 << "unknown option '-x'";
    QTest::newRow("stray word") << QStringList{"list"} << 2 << "unexpected argument 'list'";
    QTest::newRow("missing URL") << QStringList{"--add"} << 2 << "--add needs a URL";
    QTest::newRow("set without value") << QStringList{"--set", "Check Interval"} << 2
                                       << "--set needs a KEY and a VALUE";
    QTest::newRow("missing file") << QStringList{"--import-opml"} << 2 << "--import-opml needs a FILE";
    QTest::newRow("two commands") << QStringList{"--list", "--dump-json"} << 2
                                  << "--list and --dump-json cannot be combined";
    QTest::newRow("modifier of another command") << QStringList{"--list", "--recent"} << 2
                                                 << "--recent goes only with --add";
    QTest::newRow("modifier alone") << QStringList{"--name", "x"} << 2 << "--name goes only with --add";
    QTest::newRow("value for a flag") << QStringList{"--list=all"} << 2 << "--list does not take '='";
    QTest::newRow("not a URL") << QStringList{"--add", "just some words"} << 2
                               << "'just some words' is not a feed address";
    QTest::newRow("URL without host") << QStringList{"--add", "http://"} << 2 << "is not a feed address";
    QTest::newRow("scheme we cannot fetch") << QStringList{"--add", "ftp://example.org/feed.xml"} << 2
                                            << "is not a feed address";
    QTest::newRow("rewrite gives no URL") << QStringList{"--add", "feedexample.org"} << 2
                                          << "'feedexample.org' is not a feed address";
    QTest::newRow("unknown preference") << QStringList{"--set", "Check interval", "60"} << 2
                                        << "no preference is called 'Check interval'";
    QTest::newRow("get unknown preference") << QStringList{"--get", "Volume"} << 2
                                            << "no preference is called 'Volume'";
    QTest::newRow("real preference, word") << QStringList{"--set", "Check Interval", "often"} << 2
                                           << "'Check Interval' takes a number, not 'often'";
    QTest::newRow("real preference, infinite") << QStringList{"--set", "Check Interval", "inf"} << 2
                                               << "takes a number";
    QTest::newRow("integer preference, real") << QStringList{"--set", "Show Top Entries Count", "2.5"} << 2
                                              << "takes a whole number, not '2.5'";
    QTest::newRow("integer preference, too big")
        << QStringList{"--set", "Maximum Entry History Count", "99999999999"} << 2 << "takes a whole number";
    QTest::newRow("boolean preference, word") << QStringList{"--set", "Growl Click Action", "maybe"} << 2
                                              << "takes true, false, 1 or 0, not 'maybe'";
    QTest::newRow("unreadable file") << QStringList{"--import-opml", missing} << 1 << "cannot read " + missing;
    QTest::newRow("folder for a file") << QStringList{"--import-opml", QDir::tempPath()} << 1 << "is a folder";
    QTest::newRow("a feed, not OPML") << QStringList{"--import-opml", testDataPath("opml/not-opml.xml")} << 1
                                      << "not an OPML document (its root element is <rss>)";
    QTest::newRow("HTML, not OPML") << QStringList{"--import-opml", testDataPath("xml/html-page.html")} << 1
                                    << "not an OPML document";
    QTest::newRow("billion laughs") << QStringList{"--import-opml", testDataPath("opml/billion-laughs.opml")} << 1
                                    << "declares XML entities";
    QTest::newRow("billion laughs in UTF-16")
        << QStringList{"--import-opml", testDataPath("opml/billion-laughs-utf16.opml")} << 1
        << "declares XML entities";
    QTest::newRow("external entity")
        << QStringList{"--import-opml", testDataPath("opml/external-entity.opml")} << 1 << "declares XML entities";
    QTest::newRow("no such feed") << QStringList{"--remove", "Nothing Here"} << 1
                                  << "no feed has the URL or name 'Nothing Here'";
    QTest::newRow("unwritable export") << QStringList{"--export-opml", "/proc/brevlin.opml"} << 1
                                       << "cannot write /proc/brevlin.opml";
}

void tst_CommandLine::badInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    TemporaryHome home;
    const Outcome outcome = runProgram(arguments);
    QVERIFY2(outcome.finished, qPrintable(describe(outcome)));
    QCOMPARE(outcome.exitCode, exitCode);
    QCOMPARE(outcome.out, QString());
    QCOMPARE(lines(outcome.err).size(), 1);
    QVERIFY2(outcome.err.startsWith("rss-brevlin: ") && outcome.err.contains(message), qPrintable(outcome.err));
    // Refused input writes nothing: no feed, no preference.
    QVERIFY(!QFileInfo::exists(home.configHome() + "/Rss_Brevlin/Rss_Brevlin.conf"));
    QVERIFY(!QFileInfo::exists(storePath(home)) || countRows(storePath(home), "SELECT count(*) FROM RSSFeed") == 0);
}

void tst_CommandLine::helpAndVersion()
{
    TemporaryHome home;
    RUN_OK(help, {"--list", "--help"});
    QVERIFY2(help.out.startsWith("Usage: rss-brevlin"), qPrintable(help.out));
    for (const char *command : {"--add", "--remove", "--list", "--check-once", "--dump-json", "--import-opml",
                                "--export-opml", "--get", "--set", "--prefs", "--headless"}) {
        QVERIFY2(help.out.contains(QLatin1String(command)), command);
    }
    RUN_OK(version, {"--version"});
    QCOMPARE(version.out, QStringLiteral("rss-brevlin " BREVLIN_VERSION "\n"));
    QVERIFY(!QFileInfo::exists(home.dataHome() + "/Rss_Brevlin"));
}

void tst_CommandLine::addAndList()
{
    TemporaryHome home;
    RUN_OK(empty, {"--list"});
    QCOMPARE(empty.out, QString());

    RUN_OK(named, {"--add", "https://b.example.org/feed.xml", "--name", "Bravo", "--login", "kim", "--password",
                   "-secret", "--recent"});
    QCOMPARE(named.out + named.err, QString());
    RUN_OK(rewritten, {"--add=feed://a.example.org/rss"});
    RUN_OK(file, {"--add", "file:///var/feeds/local.xml", "--name=Alpha"});

    const Outcome duplicate = runProgram({"--add", "http://a.example.org/rss", "--name", "Again"});
    QCOMPARE(duplicate.exitCode, 1);
    QVERIFY2(duplicate.err.contains("already subscribed to http://a.example.org/rss"), qPrintable(duplicate.err));

    // By name, absent names first; an absent value is an empty field.
    RUN_OK(listed, {"--list"});
    QCOMPARE(lines(listed.out), QStringList({"\thttp://a.example.org/rss\t\t0\t",
                                             "Alpha\tfile:///var/feeds/local.xml\t\t0\t",
                                             "Bravo\thttps://b.example.org/feed.xml\t\t0\t"}));
    QCOMPARE(countRows(storePath(home), "SELECT count(*) FROM RSSFeed WHERE name = 'Bravo' AND login = 'kim' "
                                        "AND password = '-secret' AND showInRecentList = 1"),
             1);
    QCOMPARE(countRows(storePath(home), "SELECT count(*) FROM RSSFeed WHERE showInRecentList = 1"), 1);
}

void tst_CommandLine::remove()
{
    TemporaryHome home;
    for (const QStringList &add : {QStringList{"--add", "https://one.example.org/", "--name", "Twin"},
                                   QStringList{"--add", "https://two.example.org/", "--name", "Twin"},
                                   QStringList{"--add", "https://three.example.org/", "--name", "Single"}}) {
        RUN_OK(added, add);
    }
    QVERIFY(runSql(storePath(home), {"INSERT INTO RSSItem (feed, title, guid) SELECT id, 'entry', 'g-' || id "
                                     "FROM RSSFeed"}));

    // A name two feeds share deletes nothing.
    const Outcome ambiguous = runProgram({"--remove", "Twin"});
    QCOMPARE(ambiguous.exitCode, 1);
    QVERIFY2(ambiguous.err.contains("2 feeds are named 'Twin'"), qPrintable(ambiguous.err));
    QCOMPARE(countRows(storePath(home), "SELECT count(*) FROM RSSFeed"), 3);

    RUN_OK(byUrl, {"--remove", "https://two.example.org/"});
    RUN_OK(byName, {"--remove", "Single"});
    RUN_OK(listed, {"--list"});
    QCOMPARE(lines(listed.out), QStringList({"Twin\thttps://one.example.org/\t\t1\t"}));
    // The removed feeds' entries went with them.
    QCOMPARE(countRows(storePath(home), "SELECT count(*) FROM RSSItem"), 1);
}

void tst_CommandLine::preferences_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("readBack");

    QTest::newRow("real") << "Check Interval" << "45.5" << "45.5";
    QTest::newRow("real given whole") << "Check Interval" << "600" << "600";
    QTest::newRow("real below the timer's floor") << "Check Interval" << "-10" << "-10";
    QTest::newRow("integer") << "Show Top Entries Count" << "7" << "7";
    QTest::newRow("negative integer") << "Maximum Entry History Count" << "-1" << "-1";
    QTest::newRow("boolean true") << "Growl Click Action" << "true" << "true";
    QTest::newRow("boolean 1") << "kShowGrowlsOnLaunch" << "1" << "true";
    QTest::newRow("boolean 0") << "Enable SubLinks in Menu" << "0" << "false";
    QTest::newRow("boolean FALSE") << "Hide Top Entries From History" << "FALSE" << "false";
}

void tst_CommandLine::preferences()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, readBack);
    TemporaryHome home;
    RUN_OK(before, {"--prefs"});
    const QStringList defaults = lines(before.out);
    QCOMPARE(defaults.size(), 11);
    QVERIFY(defaults.contains("Check Interval\t300"));
    QVERIFY(defaults.contains("Hide Top Entries From History\ttrue"));

    RUN_OK(set, {"--set", key, value});
    QCOMPARE(set.out + set.err, QString());
    RUN_OK(got, {"--get", key});
    QCOMPARE(got.out, readBack + "\n");
    RUN_OK(after, {"--prefs"});
    QVERIFY2(lines(after.out).contains(key + "\t" + readBack), qPrintable(after.out));
    // The store is no business of the preference commands.
    QVERIFY(!QFileInfo::exists(home.dataHome() + "/Rss_Brevlin"));
}

void tst_CommandLine::opmlImportAndExport()
{
    TemporaryHome home;
    RUN_OK(imported, {"--import-opml", testDataPath("opml/nested-folders.opml")});
    QCOMPARE(imported.out, QStringLiteral("added 8, skipped 2\n"));
    QCOMPARE(lines(imported.err), QStringList({"rss-brevlin: skipped 'not a url at all': not a feed address"}));

    RUN_OK(listed, {"--list"});
    const QStringList expected{
        "C++ Standards Papers\thttp://papers.example.org/cpp/index.rdf\t\t0\t",
        "Kernel Notes\thttps://kernel-notes.example.org/feed.xml\t\t0\t",
        "Qt Developer Blog\thttps://qt-dev.example.net/blog/feed/\t\t0\t",
        "Rust Releases\thttps://releases.example.org/rust.atom\t\t0\t",
        "Städtische Nachrichten\thttps://stadt.example.de/nachrichten.xml\t\t0\t",
        "The Compiler Weekly & Friends\thttps://compilers.example.com/rss?format=xml&lang=en\t\t0\t",
        "Untitled podcast\thttps://podcast.example.org/episodes.rss\t\t0\t",
        "World Headlines\thttp://news.example.com/world/rss.xml\t\t0\t",
    };
    QCOMPARE(lines(listed.out), expected);

    // Importing the same list again adds nothing.
    RUN_OK(again, {"--import-opml", testDataPath("opml/nested-folders.opml")});
    QCOMPARE(again.out, QStringLiteral("added 0, skipped 10\n"));

    RUN_OK(toStdout, {"--export-opml"});
    QVERIFY2(toStdout.out.contains("<opml version=\"2.0\">"), qPrintable(toStdout.out));
    QVERIFY(toStdout.out.contains("text=\"The Compiler Weekly &amp; Friends\""));
    QVERIFY(toStdout.out.contains("xmlUrl=\"https://compilers.example.com/rss?format=xml&amp;lang=en\""));
    const QString exported = home.path() + "/exported.opml";
    RUN_OK(toFile, {"--export-opml", exported});
    QCOMPARE(toFile.out, QString());
    QFile file(exported);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).section("<body>", 1), toStdout.out.section("<body>", 1));

    // The exported list brings the same subscriptions into an empty store.
    TemporaryHome other;
    RUN_OK(reimported, {"--import-opml", exported});
    QCOMPARE(reimported.out, QStringLiteral("added 8, skipped 0\n"));
    RUN_OK(relisted, {"--list"});
    QCOMPARE(lines(relisted.out), expected);
}

void tst_CommandLine::hostileOpmlAddsNothing_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("billion laughs") << "opml/billion-laughs.opml";
    QTest::newRow("billion laughs in UTF-16") << "opml/billion-laughs-utf16.opml";
    QTest::newRow("external entity") << "opml/external-entity.opml";
}

void tst_CommandLine::hostileOpmlAddsNothing()
{
    QFETCH(QString, file);
    TemporaryHome home;
    RUN_OK(added, {"--add", "https://kept.example.org/feed.xml", "--name", "Kept"});
    const Outcome outcome = runProgram({"--import-opml", testDataPath(file)}, 30'000);
    QVERIFY2(outcome.finished && outcome.exitCode == 1, qPrintable(describe(outcome)));
    RUN_OK(dump, {"--dump-json"});
    QVERIFY(!dump.out.contains("root:") && !dump.out.contains("lol"));
    RUN_OK(listed, {"--list"});
    QCOMPARE(lines(listed.out), QStringList({"Kept\thttps://kept.example.org/feed.xml\t\t0\t"}));
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
