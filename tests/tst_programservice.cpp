#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "platform/StoreLock.h"
#include "platform/dbus/DBusProgramService.h"

// The running program's name on the session bus (make test gives each run a private bus).
class tst_ProgramService : public QObject
{
    Q_OBJECT

    // A connection of its own stands in for the asking process.
    static QDBusConnection askingConnection()
    {
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("asking"));
    }

private Q_SLOTS:
    void anotherProcessAsksForTheSubscriptionWindow()
    {
        DBusProgramService service;
        QVERIFY(service.registerProgram(QStringLiteral("/store.sql")));
        QSignalSpy shown(&service, &ProgramService::showSubscriptionsRequested);

        // A connection of its own stands in for the other process.
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
        QVERIFY(other.isConnected());
        const QDBusMessage call = QDBusMessage::createMethodCall(
            DBusProgramService::serviceNameFor(QStringLiteral("/store.sql")), DBusProgramService::objectPath,
            QStringLiteral("org.rssbrevlin.RssBrevlin"), QStringLiteral("ShowSubscriptions"));
        QVERIFY(other.send(call));
        QTRY_COMPARE(shown.count(), 1);
        QDBusConnection::disconnectFromBus(QStringLiteral("other"));
    }

    void editsArriveWithEveryValue_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("expected"); // the edit as the handler saw it
        const QVariantMap every{{"name", "N"}, {"login", ""}, {"password", "-p"}, {"recent", true}};
        QTest::newRow("add, every option")
            << "AddFeed" << QVariantList{"http://a/", QVariant(every)} << "0|http://a/|N||-p|1|<none>|<none>|";
        QTest::newRow("add, no option") << "AddFeed" << QVariantList{"http://a/", QVariant(QVariantMap())}
                                        << "0|http://a/|<none>|<none>|<none>|0|<none>|<none>|";
        const QVariantMap edits{{"name", "N"},     {"login", "kim"},         {"password", "-p"},
                                {"notify", false}, {"interval", qint64(90)}, {"recent", true}};
        QTest::newRow("edit, every option")
            << "EditFeed" << QVariantList{"News", QVariant(edits)} << "4|News|N|kim|-p|1|0|90|";
        QTest::newRow("edit, interval auto") << "EditFeed" << QVariantList{"News", QVariantMap{{"interval", 0}}}
                                             << "4|News|<none>|<none>|<none>|<none>|<none>|0|";
        QTest::newRow("remove") << "RemoveFeed" << QVariantList{"News"}
                                << "1|News|<none>|<none>|<none>|<none>|<none>|<none>|";
        QTest::newRow("import") << "ImportOpml" << QVariantList{"list.opml", QByteArray("<opml/>")}
                                << "2|list.opml|<none>|<none>|<none>|<none>|<none>|<none>|<opml/>";
        QTest::newRow("set") << "SetPreference" << QVariantList{"Check Interval", "60"}
                             << "3|Check Interval=60|<none>|<none>|<none>|<none>|<none>|<none>|";
    }
    // Each method hands the handler the edit exactly as sent, absent options absent, and
    // answers with the handler's exit code, output and lines for standard error.
    void editsArriveWithEveryValue()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, expected);
        DBusProgramService service;
        QVERIFY(service.registerProgram(QStringLiteral("/store.sql")));
        QString seen;
        service.setEditHandler(
            QStringLiteral("/store.sql"), [&seen](const StoreEdit &edit, const ProgramService::EditReply &reply) {
                const auto text = [](const std::optional<QString> &value) {
                    return value.value_or(QStringLiteral("<none>"));
                };
                const auto number = [](const auto &value) {
                    return value ? QString::number(qint64(*value)) : QStringLiteral("<none>");
                };
                const QString argument =
                    edit.kind == StoreEdit::Kind::SetPreference ? edit.argument + '=' + edit.value : edit.argument;
                seen = QStringList{QString::number(int(edit.kind)),
                                   argument,
                                   text(edit.name),
                                   text(edit.credentials.login),
                                   text(edit.credentials.password),
                                   number(edit.recent),
                                   number(edit.notify),
                                   number(edit.interval),
                                   QString::fromUtf8(edit.document)}
                           .join('|');
                reply({3, QStringLiteral("out\n"), {QStringLiteral("warning"), QStringLiteral("error")}});
            });
        for (const QString &store : {QStringLiteral("/store.sql"), QStringLiteral("/other.sql")}) {
            QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
            QDBusMessage call = QDBusMessage::createMethodCall(
                DBusProgramService::serviceNameFor(QStringLiteral("/store.sql")), DBusProgramService::objectPath,
                DBusProgramService::interfaceName, method);
            call.setArguments(QVariantList{store} + arguments);
            // Served by this very thread: the call must let events through while it waits.
            const QDBusMessage reply = other.call(call, QDBus::BlockWithGui);
            QDBusConnection::disconnectFromBus(QStringLiteral("other"));
            QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
            const QVariantList values = reply.arguments();
            QCOMPARE(values.size(), 3);
            if (store == QLatin1String("/store.sql")) {
                QCOMPARE(seen, expected);
                QCOMPARE(values.at(0).toInt(), 3);
                QCOMPARE(values.at(1).toString(), QStringLiteral("out\n"));
                QCOMPARE(values.at(2).toStringList(), QStringList({"warning", "error"}));
                seen.clear();
            } else {
                // A program on another store never applies it.
                QCOMPARE(seen, QString());
                QCOMPARE(values.at(0).toInt(), 1);
                QVERIFY(values.at(2).toStringList().join(' ').contains("runs on another store (/store.sql)"));
            }
        }
    }

    void theNameIsHeldByOneProgramAtATime()
    {
        const QString store = QStringLiteral("/store.sql");
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("first"));
        QVERIFY(other.registerService(DBusProgramService::serviceNameFor(store)));
        {
            DBusProgramService second;
            QVERIFY(!second.registerProgram(store));
            // A program on another store has a name of its own.
            DBusProgramService elsewhere;
            QVERIFY(elsewhere.registerProgram(QStringLiteral("/other/store.sql")));
        }
        // Once the first program is gone, the next one takes the name.
        QVERIFY(other.unregisterService(DBusProgramService::serviceNameFor(store)));
        QDBusConnection::disconnectFromBus(QStringLiteral("first"));
        DBusProgramService next;
        QVERIFY(next.registerProgram(store));
    }

    // Every spelling of one store's path names one program; the name is a valid bus name.
    void storeNames()
    {
        QTemporaryDir home;
        QVERIFY(QDir().mkpath(home.path() + "/a/b"));
        QVERIFY(QFile::link(home.path() + "/a", home.path() + "/link"));
        const QString name = DBusProgramService::serviceNameFor(home.path() + "/a/b/Rss_Brevlin.sql");
        static const QRegularExpression busName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)+$"));
        QVERIFY2(busName.match(name).hasMatch() && name.size() <= 255, qPrintable(name));
        QCOMPARE(DBusProgramService::serviceNameFor(home.path() + "/a/../a/b/Rss_Brevlin.sql"), name);
        QCOMPARE(DBusProgramService::serviceNameFor(home.path() + "/link/b/Rss_Brevlin.sql"), name);
        QVERIFY(DBusProgramService::serviceNameFor(home.path() + "/a/Rss_Brevlin.sql") != name);
    }

    // The asking side sends nothing to a program that does not hold the store's lock, and
    // everything to the one that does.
    void editsGoOnlyToTheLockHolder()
    {
        QTemporaryDir home;
        const QString store = home.path() + "/Rss_Brevlin.sql";
        DBusProgramService program;
        QVERIFY(program.registerProgram(store));
        int edits = 0;
        program.setEditHandler(store, [&edits](const StoreEdit &, const ProgramService::EditReply &reply) {
            ++edits;
            reply({0, QStringLiteral("done\n"), {}});
        });
        StoreEdit edit;
        edit.credentials.password = QStringLiteral("secret");
        DBusProgramService asking(askingConnection());
        QCOMPARE(asking.askToEdit(store, edit).status, ProgramService::EditAnswer::Status::NotApplied);
        QVERIFY2(asking.errorString().contains("does not hold its lock (held by none)"),
                 qPrintable(asking.errorString()));
        QVERIFY(!asking.isOwnerReachable(store));
        QCOMPARE(edits, 0);

        StoreLock lock(store);
        QCOMPARE(lock.tryLock(), StoreLock::Outcome::Locked);
        QVERIFY(asking.isOwnerReachable(store));
        const ProgramService::EditAnswer answer = asking.askToEdit(store, edit);
        QCOMPARE(answer.status, ProgramService::EditAnswer::Status::Answered);
        QCOMPARE(answer.reply.output, QStringLiteral("done\n"));
        QCOMPARE(edits, 1);
    }

    // A long edit keeps the asking side waiting for as long as it reports progress, and the
    // answer that finally comes is the one given.
    void longEditIsWaitedFor()
    {
        QTemporaryDir home;
        const QString store = home.path() + "/Rss_Brevlin.sql";
        StoreLock lock(store);
        QCOMPARE(lock.tryLock(), StoreLock::Outcome::Locked);
        DBusProgramService program;
        QVERIFY(program.registerProgram(store));
        QTimer progress;
        int steps = 0;
        ProgramService::EditReply pending;
        connect(&progress, &QTimer::timeout, &program, [&] {
            if (++steps < 4) {
                program.reportEditProgress(steps, 4);
            } else {
                progress.stop();
                pending({0, QStringLiteral("added 4, skipped 0\n"), {}});
            }
        });
        program.setEditHandler(store, [&](const StoreEdit &, const ProgramService::EditReply &reply) {
            pending = reply;
            progress.start(300);
        });
        DBusProgramService asking(askingConnection());
        QSignalSpy reported(&asking, &ProgramService::editProgressed);
        const ProgramService::EditAnswer answer = asking.askToEdit(store, StoreEdit());
        QCOMPARE(answer.status, ProgramService::EditAnswer::Status::Answered);
        QCOMPARE(answer.reply.output, QStringLiteral("added 4, skipped 0\n"));
        QCOMPARE(reported.count(), 3);
        QCOMPARE(reported.last(), QVariantList({3, 4}));
    }
};

QTEST_GUILESS_MAIN(tst_ProgramService)
#include "tst_programservice.moc"
