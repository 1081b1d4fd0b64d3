#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

#include "platform/dbus/DBusProgramService.h"

// The running program's name on the session bus (make test gives each run a private bus).
class tst_ProgramService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void anotherProcessAsksForTheSubscriptionWindow()
    {
        DBusProgramService service;
        QVERIFY(service.registerProgram());
        QSignalSpy shown(&service, &ProgramService::showSubscriptionsRequested);

        // A connection of its own stands in for the other process.
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
        QVERIFY(other.isConnected());
        const QDBusMessage call = QDBusMessage::createMethodCall(
            DBusProgramService::serviceName, DBusProgramService::objectPath,
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
            << "AddFeed" << QVariantList{"http://a/", QVariant(every)} << "0|http://a/|N||-p|1|";
        QTest::newRow("add, no option") << "AddFeed" << QVariantList{"http://a/", QVariant(QVariantMap())}
                                        << "0|http://a/|<none>|<none>|<none>|0|";
        QTest::newRow("remove") << "RemoveFeed" << QVariantList{"News"} << "1|News|<none>|<none>|<none>|0|";
        QTest::newRow("import") << "ImportOpml" << QVariantList{"list.opml", QByteArray("<opml/>")}
                                << "2|list.opml|<none>|<none>|<none>|0|<opml/>";
        QTest::newRow("set") << "SetPreference" << QVariantList{"Check Interval", "60"}
                             << "3|Check Interval=60|<none>|<none>|<none>|0|";
    }
    // Each method hands the handler the edit exactly as sent, absent options absent, and
    // answers with the handler's exit code, output and lines for standard error.
    void editsArriveWithEveryValue()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, expected);
        DBusProgramService service;
        QVERIFY(service.registerProgram());
        QString seen;
        service.setEditHandler(QStringLiteral("/store.sql"), [&seen](const StoreEdit &edit) {
            const auto text = [](const std::optional<QString> &value) {
                return value.value_or(QStringLiteral("<none>"));
            };
            const QString argument =
                edit.kind == StoreEdit::Kind::SetPreference ? edit.argument + '=' + edit.value : edit.argument;
            seen = QStringList{QString::number(int(edit.kind)),
                               argument,
                               text(edit.name),
                               text(edit.login),
                               text(edit.password),
                               QString::number(edit.recent),
                               QString::fromUtf8(edit.document)}
                       .join('|');
            return StoreEditReply{3, QStringLiteral("out\n"), {QStringLiteral("warning"), QStringLiteral("error")}};
        });
        for (const QString &store : {QStringLiteral("/store.sql"), QStringLiteral("/other.sql")}) {
            QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
            QDBusMessage call =
                QDBusMessage::createMethodCall(DBusProgramService::serviceName, DBusProgramService::objectPath,
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
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("first"));
        QVERIFY(other.registerService(DBusProgramService::serviceName));
        {
            DBusProgramService second;
            QVERIFY(!second.registerProgram());
        }
        // Once the first program is gone, the next one takes the name.
        QVERIFY(other.unregisterService(DBusProgramService::serviceName));
        QDBusConnection::disconnectFromBus(QStringLiteral("first"));
        DBusProgramService next;
        QVERIFY(next.registerProgram());
    }
};

QTEST_GUILESS_MAIN(tst_ProgramService)
#include "tst_programservice.moc"
