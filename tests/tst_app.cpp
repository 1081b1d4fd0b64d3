#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include "app/Rss_Brevlin_AppDelegate.h"
#include "controller/widgets/BrevlinWindow.h"
#include "model/RSSFeed.h"
#include "store/ObjectContext.h"
#include "tests/fakes/FakeAlerts.h"
#include "tests/support/StoreFixture.h"

using namespace TestSupport;

// The application delegate: folders, the lazily opened store, saving and the quit decision.
class tst_App : public QObject
{
    Q_OBJECT

private:
    static QFile::Permissions permissionsOf(const QString &path)
    {
        return QFileInfo(path).permissions()
            & (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::WriteGroup
               | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
    }

private Q_SLOTS:
    void firstRunCreatesFolderAndStore()
    {
        PreferencesHome home;
        FakeAlerts alerts;
        Rss_Brevlin_AppDelegate delegate(&alerts);
        const QString folder = home.dataHome() + QStringLiteral("/Rss_Brevlin");
        QCOMPARE(delegate.applicationSupportFolder(), folder);
        QCOMPARE(delegate.cachesFolder(), home.cacheHome() + QStringLiteral("/Rss_Brevlin"));
        QCOMPARE(delegate.pdfFolder(), folder + QStringLiteral("/PDFs"));
        QVERIFY(!QFileInfo::exists(folder));
        // Nothing is created before the store is asked for.
        QCOMPARE(delegate.applicationShouldTerminate(), Rss_Brevlin_AppDelegate::TerminateReply::TerminateNow);
        QVERIFY(!QFileInfo::exists(folder));

        QVERIFY(delegate.managedObjectContext()->isOpen());
        QVERIFY(alerts.presentedErrors.isEmpty());
        QCOMPARE(permissionsOf(folder), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(permissionsOf(folder + QStringLiteral("/Rss_Brevlin.sql")), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(delegate.applicationShouldTerminate(), Rss_Brevlin_AppDelegate::TerminateReply::TerminateNow);
    }

    void foldersFollowTheEnvironment()
    {
        Rss_Brevlin_AppDelegate delegate(nullptr);
        PreferencesHome first;
        const QString before = delegate.applicationSupportFolder();
        PreferencesHome second;
        QVERIFY(delegate.applicationSupportFolder() != before);
        QCOMPARE(delegate.applicationSupportFolder(), second.dataHome() + QStringLiteral("/Rss_Brevlin"));
    }

    void bothFoldersFallBackToTheTemporaryFolder()
    {
        PreferencesHome home;
        const QByteArray savedTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", home.path().toUtf8());
        FakeAlerts alerts;
        Rss_Brevlin_AppDelegate delegate(&alerts);
        delegate.setDirectorySearch([](QStandardPaths::StandardLocation) { return QString(); });
        const QString expected = home.path() + QStringLiteral("/Rss_Brevlin");
        QCOMPARE(delegate.applicationSupportFolder(), expected);
        QCOMPARE(delegate.cachesFolder(), expected);
        QVERIFY(delegate.managedObjectContext()->isOpen());
        QVERIFY(QFileInfo::exists(expected + QStringLiteral("/Rss_Brevlin.sql")));
        qputenv("TMPDIR", savedTmp);
    }

    void brokenStoreIsReportedOnceAndLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("garbage bytes") << "garbage";
        QTest::newRow("store of a newer schema") << "newer";
        QTest::newRow("database of another program") << "foreign";
        QTest::newRow("folder where the file should be") << "folder";
        QTest::newRow("folder cannot be created") << "uncreatable";
    }

    void brokenStoreIsReportedOnceAndLeftAlone()
    {
        QFETCH(QString, kind);
        PreferencesHome home;
        FakeAlerts alerts;
        Rss_Brevlin_AppDelegate delegate(&alerts);
        if (kind == QLatin1String("uncreatable")) {
            // A file where the data folder should be: no folder can be made under it,
            // whoever runs the test (permissions do not stop root).
            QFile blocker(home.path() + QStringLiteral("/blocker"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            qputenv("XDG_DATA_HOME", blocker.fileName().toUtf8() + "/data");
        }
        const QString path = delegate.storeFilePath();
        QDir().mkpath(delegate.applicationSupportFolder());
        if (kind == QLatin1String("garbage")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(4096, '\x5a') + "not a store");
        } else if (kind == QLatin1String("newer")) {
            QVERIFY(
                runSql(path, {QStringLiteral("CREATE TABLE future (x)"), QStringLiteral("PRAGMA user_version = 99")}));
        } else if (kind == QLatin1String("foreign")) {
            QVERIFY(runSql(path, {QStringLiteral("CREATE TABLE photos (x)")}));
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
        }
        const QByteArray before = QFileInfo(path).isFile() ? fileBytes(path) : QByteArray();

        ObjectContext *context = delegate.managedObjectContext();
        QCOMPARE(alerts.presentedErrors.size(), 1);
        QVERIFY(!context->isOpen());
        QVERIFY(!RSSFeed::fetchFeeds(context));
        QCOMPARE(delegate.managedObjectContext(), context);
        QCOMPARE(alerts.presentedErrors.size(), 1);
        if (QFileInfo(path).isFile()) {
            QCOMPARE(fileBytes(path), before);
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QFileInfo::exists(path + QStringLiteral("/inside")));
        }
    }

    void quitDecision_data()
    {
        QTest::addColumn<bool>("touchStore");
        QTest::addColumn<bool>("commitRefused");
        QTest::addColumn<bool>("makeChange");
        QTest::addColumn<bool>("saveFails");
        QTest::addColumn<bool>("recovers");
        QTest::addColumn<bool>("quitAnyway");
        QTest::addColumn<bool>("terminates");
        QTest::addColumn<int>("errors");
        QTest::addColumn<int>("panels");

        QTest::newRow("store never used") << false << false << false << false << false << false << true << 0 << 0;
        QTest::newRow("edit refuses to commit") << true << true << true << false << false << false << false << 0 << 0;
        QTest::newRow("nothing to save") << true << false << false << false << false << false << true << 0 << 0;
        QTest::newRow("changes saved") << true << false << true << false << false << false << true << 0 << 0;
        QTest::newRow("save fails, user recovers") << true << false << true << true << true << false << false << 1 << 0;
        QTest::newRow("save fails, quit anyway") << true << false << true << true << false << true << true << 1 << 1;
        QTest::newRow("save fails, cancel") << true << false << true << true << false << false << false << 1 << 1;
    }

    void quitDecision()
    {
        QFETCH(bool, touchStore);
        QFETCH(bool, commitRefused);
        QFETCH(bool, makeChange);
        QFETCH(bool, saveFails);
        QFETCH(bool, recovers);
        QFETCH(bool, quitAnyway);
        QFETCH(bool, terminates);
        QFETCH(int, errors);
        QFETCH(int, panels);

        PreferencesHome home;
        FakeAlerts alerts;
        alerts.recoverFromErrors = recovers;
        alerts.panelAnswer = quitAnyway ? Alerts::Response::Default : Alerts::Response::Alternate;
        Rss_Brevlin_AppDelegate delegate(&alerts);
        QObject window;
        if (touchStore) {
            ObjectContext *context = delegate.managedObjectContext();
            context->addEditingCommitter(&window, [commitRefused] { return !commitRefused; });
            if (makeChange) {
                RSSFeed::insert(context)->setName(QStringLiteral("unsaved"));
            }
            if (saveFails) {
                QVERIFY(runSql(delegate.storeFilePath(),
                               {QStringLiteral("CREATE TRIGGER broken BEFORE INSERT ON RSSFeed "
                                               "BEGIN SELECT RAISE(ABORT, 'disk is full'); END")}));
            }
        }
        const auto reply = delegate.applicationShouldTerminate();
        QCOMPARE(reply == Rss_Brevlin_AppDelegate::TerminateReply::TerminateNow, terminates);
        QCOMPARE(alerts.presentedErrors.size(), errors);
        QCOMPARE(alerts.panels.size(), panels);
        if (panels > 0) {
            QCOMPARE(alerts.panels.first().title, QString());
            QCOMPARE(alerts.panels.first().message,
                     QStringLiteral("Could not save changes while quitting. Quit anyway?"));
            QCOMPARE(alerts.panels.first().defaultButton, QStringLiteral("Quit anyway"));
            QCOMPARE(alerts.panels.first().alternateButton, QStringLiteral("Cancel"));
        }
        if (touchStore && makeChange) {
            // A cancelled quit keeps the changes for the next attempt.
            QCOMPARE(delegate.managedObjectContext()->hasChanges(), saveFails || commitRefused);
        }
    }

    void closingWindowKeepsHalfTypedValue()
    {
        PreferencesHome home;
        FakeAlerts alerts;
        Rss_Brevlin_AppDelegate delegate(&alerts);
        RSSFeed *feed = RSSFeed::insert(delegate.managedObjectContext());
        BrevlinWindow window;
        auto *field = new QLineEdit(&window);
        (new QVBoxLayout(&window))->addWidget(field);
        connect(field, &QLineEdit::editingFinished, field, [feed, field] { feed->setName(field->text()); });
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClicks(field, QStringLiteral("Half typed"));
        QCOMPARE(feed->name(), std::nullopt);
        window.close();
        QCOMPARE(feed->name(), QStringLiteral("Half typed"));
    }
};

QTEST_MAIN(tst_App)
#include "tst_app.moc"
