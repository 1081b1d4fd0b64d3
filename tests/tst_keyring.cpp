// Feed passwords in the desktop's keyring: the model's moves against a keyring in memory, and
// the program against a real Secret Service (gnome-keyring-daemon) on this test's own bus.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <memory>

#include "model/FeedPasswords.h"
#include "model/RSSFeed.h"
#include "platform/keyring/SecretServicePasswordStore.h"
#include "store/ObjectContext.h"
#include "tests/fakes/FakePasswordStore.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/StoreFixture.h"

using namespace TestSupport;

namespace {

const QString secretsService = QStringLiteral("org.freedesktop.secrets");
const QString unavailableMessage = QStringLiteral("Feed passwords stay in the store");

bool isSecretServiceRunning()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(secretsService).value();
}

// gnome-keyring-daemon with a home of its own, unlocked with a password on its standard input
// when asked; without --unlock its login keyring stays locked, and with no prompter on this
// bus every unlock is refused.
class KeyringDaemon
{
public:
    explicit KeyringDaemon(const QString &home)
        : m_home(home)
    {
    }
    ~KeyringDaemon() { stop(); }

    bool start(bool unlocked)
    {
        QDir().mkpath(m_home);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_home);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home + QStringLiteral("/data"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/config"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home + QStringLiteral("/cache"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home + QStringLiteral("/run"));
        QDir().mkpath(m_home + QStringLiteral("/run"));
        QFile::setPermissions(m_home + QStringLiteral("/run"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QStringList arguments{QStringLiteral("--foreground"), QStringLiteral("--components=secrets")};
        if (unlocked) {
            arguments.append(QStringLiteral("--unlock"));
        }
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("gnome-keyring-daemon"), arguments);
        if (!m_process.waitForStarted()) {
            return false;
        }
        if (unlocked) {
            m_process.write("keyring-login-password");
        }
        m_process.closeWriteChannel();
        return QTest::qWaitFor(isSecretServiceRunning, 10'000);
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning) {
            return;
        }
        m_process.terminate();
        m_process.waitForFinished();
        if (!QTest::qWaitFor([] { return !isSecretServiceRunning(); }, 10'000)) {
            qWarning("KeyringDaemon::stop: the Secret Service is still on the bus");
        }
    }

private:
    QString m_home;
    QProcess m_process;
};

} // namespace

class tst_Keyring : public QObject
{
    Q_OBJECT

    HttpTestServer m_server;
    std::unique_ptr<TemporaryHome> m_home;
    QTemporaryDir m_keyringHome;
    const QByteArray m_feed = "<rss version=\"2.0\"><channel><title>Private</title><item><title>One</title>"
                              "<link>http://example.org/one</link></item></channel></rss>";

    // Adds a feed at path behind basic authentication with kim and password, through the
    // password's usual way in: standard input.
    Outcome addPrivateFeed(const QByteArray &path, const QByteArray &password)
    {
        m_server.setHandler(path, HttpTestServer::basicAuth("kim", password, HttpTestResponse::ok(m_feed)));
        return runProgram({QStringLiteral("--add"), m_server.url(QString::fromLatin1(path)).toString(),
                           QStringLiteral("--login"), QStringLiteral("kim"), QStringLiteral("--password-stdin")},
                          60'000, QProcessEnvironment::systemEnvironment(), password + '\n');
    }

    // Every feed of a check got its document: no error.
    static bool everyFeedFetched(const Outcome &check)
    {
        const QStringList lines = check.out.split(u'\n', Qt::SkipEmptyParts);
        return !lines.isEmpty() && std::all_of(lines.cbegin(), lines.cend(), [](const QString &line) {
            return line.count(u'\t') == 2 && line.section(u'\t', 2).isEmpty();
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty()) {
            QSKIP("Debian's gnome-keyring is not installed (scripts/install-deps installs it)");
        }
        // The bus of this test starts nothing on demand, so that the keyring is the one started here.
        QVERIFY2(!isSecretServiceRunning(), "a Secret Service already runs on this test's bus");
    }
    void init()
    {
        m_home = std::make_unique<TemporaryHome>();
        m_server.clearRequests();
    }
    void cleanup()
    {
        FeedPasswords::instance()->setKeyring(nullptr);
        m_home.reset();
    }

    // The model against a keyring in memory: the item follows the feed's address, and a password
    // taken away goes from the keyring too.
    void keyringItemFollowsTheAddressAndGoesWithThePassword()
    {
        StoreFixture store;
        QVERIFY(store.setUp(StoreFixture::Store::InMemory));
        store.context->setChecksFeeds(false);
        FakePasswordStore fake;
        FeedPasswords::instance()->setKeyring(&fake);
        RSSFeed *feed = RSSFeed::insert(store.context.get());
        feed->setUrl(QStringLiteral("https://example.org/a"));
        // A feed without a login never asks.
        bool known = false;
        feed->whenPasswordKnown(feed, [&known] { known = true; });
        QVERIFY(known);
        QCOMPARE(fake.requests, 0);
        feed->setLogin(QStringLiteral("kim"));
        feed->setPassword(QStringLiteral("pw"));
        QVERIFY(FeedPasswords::instance()->waitForChanges(std::chrono::seconds(5)));
        feed->setUrl(QStringLiteral("https://example.org/b"));
        QVERIFY(FeedPasswords::instance()->waitForChanges(std::chrono::seconds(5)));
        QCOMPARE(fake.items.keys(), QStringList{QStringLiteral("kim at https://example.org/b")});
        QCOMPARE(feed->password(), QStringLiteral("pw"));
        feed->setPassword(std::nullopt);
        QVERIFY(FeedPasswords::instance()->waitForChanges(std::chrono::seconds(5)));
        QVERIFY(fake.items.isEmpty());
        QCOMPARE(feed->password(), std::nullopt);
        store.tearDown();
    }

    // The program against the real Secret Service: the password given on standard input goes
    // to the keyring only, and a check sends it from there.
    void checkSendsThePasswordTheKeyringKeeps()
    {
        KeyringDaemon daemon(m_keyringHome.filePath(QStringLiteral("unlocked")));
        QVERIFY(daemon.start(true));
        const Outcome added = addPrivateFeed("/private.xml", "kept-in-keyring-7Q");
        QVERIFY2(added.finished && added.exitCode == 0, qPrintable(describe(added)));
        QVERIFY2(!added.err.contains(unavailableMessage), qPrintable(describe(added)));
        QVERIFY(!fileBytes(storePath(*m_home)).isEmpty());
        QVERIFY(!fileBytes(storePath(*m_home)).contains("kept-in-keyring-7Q"));

        RUN_OK(check, {QStringLiteral("--check-once"), QStringLiteral("--quiet-notifications")});
        QVERIFY2(everyFeedFetched(check), qPrintable(describe(check)));
        QVERIFY(!m_server.requests("/private.xml").last().header("Authorization").isEmpty());
        QVERIFY(!fileBytes(storePath(*m_home)).contains("kept-in-keyring-7Q"));

        // The item, as the program's own keyring reads it.
        SecretServicePasswordStore keyring;
        PasswordJob *read =
            keyring.readPassword({m_server.url(QStringLiteral("/private.xml")).toString(), QStringLiteral("kim")});
        QSignalSpy finished(read, &PasswordJob::finished);
        QVERIFY(finished.wait(10'000));
        QCOMPARE(finished.at(0).at(0).value<PasswordJob::Outcome>(), PasswordJob::Outcome::Done);
        QCOMPARE(finished.at(0).at(1).toString(), QStringLiteral("kept-in-keyring-7Q"));
    }

    // Without a keyring the store keeps the passwords, saying so once per run; the first check
    // with a keyring running moves them there.
    void storePasswordsWaitForAKeyringAndMoveToIt()
    {
        m_server.setResponse("/open.xml", HttpTestResponse::ok(m_feed));
        RUN_OK(open, {QStringLiteral("--add"), m_server.url(QStringLiteral("/open.xml")).toString()});
        // A store without logins never asks for a keyring.
        RUN_OK(openCheck, {QStringLiteral("--check-once"), QStringLiteral("--quiet-notifications")});
        QVERIFY2(!openCheck.err.contains(unavailableMessage), qPrintable(describe(openCheck)));

        for (const QByteArray &feed : {QByteArray("first"), QByteArray("second")}) {
            const Outcome added = addPrivateFeed("/" + feed + ".xml", feed + "-in-store-5K");
            QVERIFY2(added.finished && added.exitCode == 0, qPrintable(describe(added)));
            QCOMPARE(added.err.count(unavailableMessage), 1);
        }
        QVERIFY(fileBytes(storePath(*m_home)).contains("first-in-store-5K"));
        RUN_OK(fallback, {QStringLiteral("--check-once"), QStringLiteral("--quiet-notifications")});
        QVERIFY2(everyFeedFetched(fallback), qPrintable(describe(fallback)));
        QCOMPARE(fallback.err.count(unavailableMessage), 1);

        KeyringDaemon daemon(m_keyringHome.filePath(QStringLiteral("moved")));
        QVERIFY(daemon.start(true));
        RUN_OK(moved, {QStringLiteral("--check-once"), QStringLiteral("--quiet-notifications")});
        QVERIFY2(everyFeedFetched(moved), qPrintable(describe(moved)));
        QVERIFY2(!moved.err.contains(unavailableMessage), qPrintable(describe(moved)));
        const QByteArray bytes = fileBytes(storePath(*m_home));
        QVERIFY(!bytes.contains("first-in-store-5K"));
        QVERIFY(!bytes.contains("second-in-store-5K"));
        // Now from the keyring alone.
        m_server.clearRequests();
        RUN_OK(again, {QStringLiteral("--check-once"), QStringLiteral("--quiet-notifications")});
        QVERIFY2(everyFeedFetched(again), qPrintable(describe(again)));
        QCOMPARE(m_server.requests("/second.xml").last().header("Authorization"),
                 "Basic " + QByteArray("kim:second-in-store-5K").toBase64());
    }

    // --edit goes the way of --add: a new password to the keyring only, and a new login takes the
    // keyring's password along although the command ends long before the next check.
    void editedCredentialsGoToTheKeyring()
    {
        KeyringDaemon daemon(m_keyringHome.filePath(QStringLiteral("edited")));
        QVERIFY(daemon.start(true));
        const Outcome added = addPrivateFeed("/edited.xml", "first-pw-8R");
        QVERIFY2(added.finished && added.exitCode == 0, qPrintable(describe(added)));
        const QString url = m_server.url(QStringLiteral("/edited.xml")).toString();

        RUN_OK(login, {QStringLiteral("--edit"), url, QStringLiteral("--login"), QStringLiteral("kate")});
        m_server.setHandler("/edited.xml",
                            HttpTestServer::basicAuth("kate", "first-pw-8R", HttpTestResponse::ok(m_feed)));
        RUN_OK(followed, {QStringLiteral("--check-once"), QStringLiteral("--quiet-notifications")});
        QVERIFY2(everyFeedFetched(followed), qPrintable(describe(followed)));

        const Outcome edited = runProgram({QStringLiteral("--edit"), url, QStringLiteral("--password-stdin")}, 60'000,
                                          QProcessEnvironment::systemEnvironment(), "second-pw-8R\n");
        QVERIFY2(edited.finished && edited.exitCode == 0, qPrintable(describe(edited)));
        QVERIFY2(!edited.err.contains(unavailableMessage), qPrintable(describe(edited)));
        RUN_OK(dump, {QStringLiteral("--dump-json")});
        for (const QByteArray &bytes : {fileBytes(storePath(*m_home)), dump.out.toUtf8()}) {
            QVERIFY(!bytes.contains("first-pw-8R"));
            QVERIFY(!bytes.contains("second-pw-8R"));
        }
        m_server.setHandler("/edited.xml",
                            HttpTestServer::basicAuth("kate", "second-pw-8R", HttpTestResponse::ok(m_feed)));
        RUN_OK(check, {QStringLiteral("--check-once"), QStringLiteral("--quiet-notifications")});
        QVERIFY2(everyFeedFetched(check), qPrintable(describe(check)));

        // Nothing is left under the old login.
        SecretServicePasswordStore keyring;
        QSignalSpy finished(keyring.readPassword({url, QStringLiteral("kim")}), &PasswordJob::finished);
        QVERIFY(finished.wait(10'000));
        QCOMPARE(finished.at(0).at(0).value<PasswordJob::Outcome>(), PasswordJob::Outcome::NotFound);
    }

    void lockedKeyringLeavesThePasswordInTheStore()
    {
        const QString home = m_keyringHome.filePath(QStringLiteral("locked"));
        {
            // Creates the login keyring, which the next start leaves locked.
            KeyringDaemon first(home);
            QVERIFY(first.start(true));
        }
        KeyringDaemon daemon(home);
        QVERIFY(daemon.start(false));
        const Outcome added = addPrivateFeed("/locked.xml", "refused-by-keyring-3J");
        QVERIFY2(added.finished && added.exitCode == 0, qPrintable(describe(added)));
        QCOMPARE(added.err.count(unavailableMessage), 1);
        QVERIFY(fileBytes(storePath(*m_home)).contains("refused-by-keyring-3J"));
        RUN_OK(check, {QStringLiteral("--check-once"), QStringLiteral("--quiet-notifications")});
        QVERIFY2(everyFeedFetched(check), qPrintable(describe(check)));
        QCOMPARE(check.err.count(unavailableMessage), 1);
        QVERIFY(fileBytes(storePath(*m_home)).contains("refused-by-keyring-3J"));
    }
};

QTEST_GUILESS_MAIN(tst_Keyring)
#include "tst_keyring.moc"
