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
