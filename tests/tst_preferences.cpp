#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

#include "controller/RSSBrevlinController.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "tests/support/StoreFixture.h"

using namespace TestSupport;

// Preferences with their registered defaults and number rules.
class tst_Preferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultsAreRegisteredWithTheirTypes()
    {
        PreferencesHome home;
        const QVariantMap defaults = RSSBrevlinController::defaultsDictionary();
        QCOMPARE(defaults.size(), 14);
        QCOMPARE(defaults.value(Preferences::proxy).typeId(), QMetaType::QString);
        QCOMPARE(defaults.value(Preferences::checkInterval).typeId(), QMetaType::Double);
        for (const QString &count :
             {Preferences::showTopEntriesCount, Preferences::maximumEntryHistoryCount, Preferences::pinGrowlMinutes,
              Preferences::maximumNotificationsPerFeed, Preferences::maximumNotificationsPerCheck}) {
            QCOMPARE(defaults.value(count).typeId(), QMetaType::Int);
        }
        UserDefaults *prefs = UserDefaults::standardUserDefaults();
        QCOMPARE(prefs->doubleForKey(Preferences::checkInterval), 300.0);
        QCOMPARE(prefs->integerForKey(Preferences::showTopEntriesCount), 10);
        QCOMPARE(prefs->integerForKey(Preferences::maximumEntryHistoryCount), 100);
        QCOMPARE(prefs->integerForKey(Preferences::pinGrowlMinutes), 0);
        QCOMPARE(prefs->integerForKey(Preferences::maximumNotificationsPerFeed), 5);
        QCOMPARE(prefs->integerForKey(Preferences::maximumNotificationsPerCheck), 20);
        QVERIFY(prefs->boolForKey(Preferences::hideTopEntriesFromHistory));
        QVERIFY(prefs->boolForKey(Preferences::enableSubLinksInMenu));
        for (const QString &off :
             {Preferences::growlClickAction, Preferences::growlListFeedsSeparately, Preferences::enableTargetPageCache,
              Preferences::showGrowlsOnLaunch, Preferences::pinGrowlNotifications}) {
            QVERIFY2(!prefs->boolForKey(off), qPrintable(off));
        }
        // Registration defaults never reach the preferences file.
        QVERIFY(!QFile::exists(prefs->fileName()));
    }

    void readingRules_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("asBool");
        QTest::addColumn<qint32>("asInteger");
        QTest::addColumn<double>("asReal");

        QTest::newRow("absent") << QVariant() << false << 0 << 0.0;
        QTest::newRow("real is cut towards zero") << QVariant(10.7) << true << 10 << 10.7;
        QTest::newRow("negative real") << QVariant(-2.5) << true << -2 << -2.5;
        QTest::newRow("negative count stays negative") << QVariant(-5) << true << -5 << -5.0;
        QTest::newRow("zero") << QVariant(0) << false << 0 << 0.0;
        QTest::newRow("non-numeric text") << QVariant(QStringLiteral("lots")) << false << 0 << 0.0;
        QTest::newRow("empty text") << QVariant(QString("")) << false << 0 << 0.0;
        QTest::newRow("numeric text") << QVariant(QStringLiteral(" 45.5 ")) << true << 45 << 45.5;
        QTest::newRow("true") << QVariant(true) << true << 1 << 1.0;
        QTest::newRow("false") << QVariant(false) << false << 0 << 0.0;
        QTest::newRow("beyond 32 bits is clamped") << QVariant(1e12) << true << 2147483647 << 1e12;
    }

    void readingRules()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, asBool);
        QFETCH(qint32, asInteger);
        QFETCH(double, asReal);
        PreferencesHome home;
        const QString key = QStringLiteral("Some Key");
        if (stored.isValid()) {
            UserDefaults::standardUserDefaults()->setObject(stored, key);
        }
        // A fresh instance reads what went through the file, not what is cached in memory.
        UserDefaults::resetStandardUserDefaults();
        UserDefaults *prefs = UserDefaults::standardUserDefaults();
        QCOMPARE(prefs->boolForKey(key), asBool);
        QCOMPARE(prefs->integerForKey(key), asInteger);
        QCOMPARE(prefs->doubleForKey(key), asReal);
    }

    void unreadableValueReadsAsTheRegisteredDefault_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("asReal");
        QTest::addColumn<qint32>("asInteger");
        QTest::addColumn<bool>("asBool");

        // Read as 0, a history count would prune every entry of every feed.
        QTest::newRow("text for the history count")
            << Preferences::maximumEntryHistoryCount << QVariant(QStringLiteral("many")) << 100.0 << 100 << true;
        QTest::newRow("text for the interval")
            << Preferences::checkInterval << QVariant(QStringLiteral("lots")) << 300.0 << 300 << true;
        QTest::newRow("empty text for a flag")
            << Preferences::enableSubLinksInMenu << QVariant(QString("")) << 1.0 << 1 << true;
        QTest::newRow("a stored false stays false")
            << Preferences::enableSubLinksInMenu << QVariant(false) << 0.0 << 0 << false;
        QTest::newRow("a number is read, not replaced")
            << Preferences::checkInterval << QVariant(QStringLiteral("0")) << 0.0 << 0 << false;
    }

    void unreadableValueReadsAsTheRegisteredDefault()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(double, asReal);
        QFETCH(qint32, asInteger);
        QFETCH(bool, asBool);
        PreferencesHome home;
        UserDefaults::standardUserDefaults()->setObject(stored, key);
        // A fresh read of the file, as at the next start.
        UserDefaults::resetStandardUserDefaults();
        RSSBrevlinController::initialize();
        UserDefaults *prefs = UserDefaults::standardUserDefaults();
        QCOMPARE(prefs->doubleForKey(key), asReal);
        QCOMPARE(prefs->integerForKey(key), asInteger);
        QCOMPARE(prefs->boolForKey(key), asBool);
    }

    void userValueWinsAndEveryWriteSignals()
    {
        PreferencesHome home;
        UserDefaults *prefs = UserDefaults::standardUserDefaults();
        QSignalSpy changed(prefs, &UserDefaults::changed);
        prefs->setObject(45.5, Preferences::checkInterval);
        prefs->setObject(45.5, Preferences::checkInterval);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed.first().first().toString(), Preferences::checkInterval);
        QCOMPARE(prefs->doubleForKey(Preferences::checkInterval), 45.5);
        QVERIFY(prefs->fileName().startsWith(home.configHome() + QStringLiteral("/Rss_Brevlin/")));
        prefs->removeObjectForKey(Preferences::checkInterval);
        QCOMPARE(prefs->doubleForKey(Preferences::checkInterval), 300.0);
        QCOMPARE(changed.size(), 3);
    }

    void writesSayWhetherTheFileWasWritten_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<bool>("written");

        QTest::newRow("nothing in the way") << QString() << true;
        QTest::newRow("file is a folder") << "folder" << false;
        QTest::newRow("read-only file") << "read-only file" << false;
        QTest::newRow("read-only folder") << "read-only folder" << false;
    }

    // Writes that failed once looked like successes: the value stayed in this process only.
    void writesSayWhetherTheFileWasWritten()
    {
        QFETCH(QString, obstacle);
        QFETCH(bool, written);
        if (obstacle.startsWith(QLatin1String("read-only")) && ::geteuid() == 0) {
            QSKIP("file permissions do not bind root");
        }
        PreferencesHome home;
        const QString file = UserDefaults::standardUserDefaults()->fileName();
        const QString folder = QFileInfo(file).path();
        QVERIFY(QDir().mkpath(folder));
        if (obstacle == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(file));
        } else if (obstacle == QLatin1String("read-only file")) {
            QFile conf(file);
            QVERIFY(conf.open(QIODevice::WriteOnly));
            conf.write("[General]\nShow%20Top%20Entries%20Count=5\n");
            conf.close();
            QVERIFY(conf.setPermissions(QFileDevice::ReadOwner));
        } else if (obstacle == QLatin1String("read-only folder")) {
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }
        UserDefaults::resetStandardUserDefaults();
        RSSBrevlinController::initialize();
        UserDefaults *prefs = UserDefaults::standardUserDefaults();
        QSignalSpy changed(prefs, &UserDefaults::changed);

        QCOMPARE(prefs->setObject(7, Preferences::showTopEntriesCount), written);
        // The value applies to this process either way, and observers hear of it.
        QCOMPARE(prefs->integerForKey(Preferences::showTopEntriesCount), 7);
        QCOMPARE(prefs->removeObjectForKey(Preferences::showTopEntriesCount), written);
        QCOMPARE(changed.size(), 2);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // The running program lives on after a failed write: once the file can be written again,
    // the next write says so, and what failed before reaches the file with it.
    void writeAfterAMendedFailureSucceeds()
    {
        PreferencesHome home;
        const QString file = UserDefaults::standardUserDefaults()->fileName();
        QVERIFY(QDir().mkpath(file));
        UserDefaults::resetStandardUserDefaults();
        UserDefaults *prefs = UserDefaults::standardUserDefaults();
        QVERIFY(!prefs->setObject(7, Preferences::showTopEntriesCount));
        QVERIFY(!prefs->setObject(120, Preferences::checkInterval));
        QCOMPARE(prefs->integerForKey(Preferences::showTopEntriesCount), 7);

        QVERIFY(QDir(file).removeRecursively());
        QVERIFY(prefs->setObject(true, Preferences::showGrowlsOnLaunch));
        const QSettings written(file, QSettings::IniFormat);
        QCOMPARE(written.value(Preferences::showTopEntriesCount).toInt(), 7);
        QCOMPARE(written.value(Preferences::checkInterval).toInt(), 120);
        QCOMPARE(written.value(Preferences::showGrowlsOnLaunch).toBool(), true);
    }
};

QTEST_GUILESS_MAIN(tst_Preferences)
#include "tst_preferences.moc"
