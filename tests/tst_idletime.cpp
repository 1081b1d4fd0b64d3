// The idle time as the sticky rule reads it: the conversion of what a source delivers, the
// messages of every trouble, and the rule itself.

#include <QDBusConnection>
#include <QTest>
#include <QThread>

#include "fakes/FakeIdleTimeProvider.h"
#include "notify/NotificationPinning.h"
#include "notify/SystemIdleTime.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "platform/dbus/DBusIdleTimeProvider.h"
#ifdef BREVLIN_HAVE_X11
#include "platform/x11/X11IdleTimeProvider.h"
#endif
#include "tests/support/LogCapture.h"
#include "tests/support/StoreFixture.h"

using namespace TestSupport;
using Delivered = std::optional<QVariant>;

Q_DECLARE_METATYPE(Delivered)

namespace {

QByteArray bytes(quint64 value, const QByteArray &tail = {})
{
    return QByteArray(reinterpret_cast<const char *>(&value), sizeof value) + tail;
}

QVariant number(qint64 value)
{
    return QVariant(qlonglong(value));
}

} // namespace

// GNOME's idle monitor for tests, answering from a thread of its own: the provider waits for
// the answer, so a monitor served by the waiting thread would never answer.
class FakeIdleMonitor : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public:
    explicit FakeIdleMonitor(quint64 idleMilliseconds)
        : m_idleMilliseconds(idleMilliseconds)
    {
        moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(
            this,
            [this] {
                QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
                m_registered = bus.registerObject(QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"), this,
                                                  QDBusConnection::ExportScriptableSlots)
                    && bus.registerService(QStringLiteral("org.gnome.Mutter.IdleMonitor"));
            },
            Qt::BlockingQueuedConnection);
    }
    ~FakeIdleMonitor() override
    {
        QMetaObject::invokeMethod(
            this, [] { QDBusConnection::disconnectFromBus(connectionName); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    bool isRegistered() const { return m_registered; }

public Q_SLOTS:
    Q_SCRIPTABLE quint64 GetIdletime() { return m_idleMilliseconds; }

private:
    static constexpr const char *connectionName = "fake-idle-monitor";
    QThread m_thread;
    quint64 m_idleMilliseconds;
    bool m_registered = false;
};

class tst_IdleTime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { IdleTimeRegistry::shared()->clear(); }

    void systemIdleSeconds_data()
    {
        QTest::addColumn<bool>("registered");
        QTest::addColumn<bool>("available");
        QTest::addColumn<Delivered>("delivered");
        QTest::addColumn<quint64>("seconds");
        QTest::addColumn<QStringList>("logged");

        const QString missing("Can't find idle time");
        QTest::newRow("5,000,000,000 ns as a number")
            << true << true << Delivered(number(5000000000)) << quint64(4) << QStringList();
        QTest::newRow("5,000,000,000 ns as data")
            << true << true << Delivered(bytes(5000000000)) << quint64(4) << QStringList();
        QTest::newRow("just below one unit")
            << true << true << Delivered(number(1073741823)) << quint64(0) << QStringList();
        QTest::newRow("exactly 60 s") << true << true << Delivered(number(60000000000)) << quint64(55) << QStringList();
        QTest::newRow("data longer than 8 bytes reads its first 8")
            << true << true << Delivered(bytes(60000000000, "\x01\x02\x03")) << quint64(55) << QStringList();
        QTest::newRow("negative number taken as unsigned")
            << true << true << Delivered(number(-1)) << quint64(0x3FFFFFFFF) << QStringList();
        QTest::newRow("data shorter than 8 bytes")
            << true << true << Delivered(QByteArray(7, '\xff')) << quint64(0) << QStringList{missing};
        QTest::newRow("no idle time") << true << true << Delivered(QVariant()) << quint64(0) << QStringList{missing};
        QTest::newRow("source cannot be asked")
            << true << true << Delivered() << quint64(0)
            << QStringList{QStringLiteral("Couldn't grab properties of system"), missing};
        QTest::newRow("value of another type") << true << true << Delivered(QVariant(QStringLiteral("5"))) << quint64(0)
                                               << QStringList{QStringLiteral("10: unsupported type")};
        QTest::newRow("no source usable now") << true << false << Delivered(number(5000000000)) << quint64(0)
                                              << QStringList{QStringLiteral("Iterator's empty!")};
        QTest::newRow("no source at all") << false << false << Delivered() << quint64(0)
                                          << QStringList{QStringLiteral("Error accessing IOHIDSystem")};
    }

    // Every trouble logs its message and answers 0; none ends the process. The messages used to
    // go to standard output, ahead of a check's own lines.
    void systemIdleSeconds()
    {
        QFETCH(bool, registered);
        QFETCH(bool, available);
        QFETCH(Delivered, delivered);
        QFETCH(quint64, seconds);
        QFETCH(QStringList, logged);
        if (registered) {
            FakeIdleTimeProvider *provider = FakeIdleTimeProvider::install();
            provider->available = available;
            provider->value = delivered;
        }
        const LogCapture log("brevlin.notify");
        const quint64 result = ::systemIdleSeconds();
        QCOMPARE(log.lines(), logged);
        QCOMPARE(result, seconds);
    }

    // The desktop's sources deliver what the conversion expects.
    void desktopSources()
    {
        const std::unique_ptr<IdleTimeProvider> mutter = DBusIdleTimeProvider::mutterIdleMonitor();
        const std::unique_ptr<IdleTimeProvider> screenSaver = DBusIdleTimeProvider::freedesktopScreenSaver();
        QVERIFY(!mutter->isAvailable());
        QCOMPARE(mutter->idleTime(), Delivered());
        QVERIFY(!screenSaver->isAvailable());
        {
            FakeIdleMonitor monitor(5000);
            QVERIFY(monitor.isRegistered());
            QVERIFY(mutter->isAvailable());
            QCOMPARE(mutter->idleTime(), Delivered(bytes(5000000000)));
        }
    }

#ifdef BREVLIN_HAVE_X11
    void x11SourceWithoutADisplay()
    {
        const std::optional<QByteArray> display =
            qEnvironmentVariableIsSet("DISPLAY") ? std::optional(qgetenv("DISPLAY")) : std::nullopt;
        qputenv("DISPLAY", ":4242");
        X11IdleTimeProvider x11;
        const bool available = x11.isAvailable();
        const Delivered delivered = x11.idleTime();
        if (display) {
            qputenv("DISPLAY", *display);
        } else {
            qunsetenv("DISPLAY");
        }
        QVERIFY(!available);
        QCOMPARE(delivered, Delivered());
    }
#endif

    void shouldPin_data()
    {
        QTest::addColumn<bool>("pin");
        QTest::addColumn<QVariant>("minutes");
        QTest::addColumn<quint64>("idle");
        QTest::addColumn<bool>("sticky");
        QTest::addColumn<int>("queries");

        QTest::newRow("off, away for long") << false << QVariant(0) << quint64(100000) << false << 0;
        QTest::newRow("0 minutes, idle 0") << true << QVariant(0) << quint64(0) << false << 1;
        QTest::newRow("0 minutes, idle 1") << true << QVariant(0) << quint64(1) << true << 1;
        QTest::newRow("5 minutes, idle 300") << true << QVariant(5) << quint64(300) << false << 1;
        QTest::newRow("5 minutes, idle 301") << true << QVariant(5) << quint64(301) << true << 1;
        QTest::newRow("1 minute, idle 60 (about 64 s)") << true << QVariant(1) << quint64(60) << false << 1;
        QTest::newRow("1 minute, idle 61") << true << QVariant(1) << quint64(61) << true << 1;
        QTest::newRow("negative minutes, idle 0") << true << QVariant(-3) << quint64(0) << true << 1;
        QTest::newRow("5.9 minutes read as 5, idle 301") << true << QVariant(5.9) << quint64(301) << true << 1;
    }

    void shouldPin()
    {
        QFETCH(bool, pin);
        QFETCH(QVariant, minutes);
        QFETCH(quint64, idle);
        QFETCH(bool, sticky);
        QFETCH(int, queries);
        PreferencesHome home;
        UserDefaults *defaults = UserDefaults::standardUserDefaults();
        defaults->setObject(pin, Preferences::pinGrowlNotifications);
        defaults->setObject(minutes, Preferences::pinGrowlMinutes);
        FakeIdleTimeProvider *provider = FakeIdleTimeProvider::install();
        provider->setIdleUnits(idle);
        QCOMPARE(NotificationPinning::shouldPin(*defaults), sticky);
        QCOMPARE(provider->queries, queries);
    }

    // An idle time that cannot be read is 0, so no threshold of 0 minutes or more is passed.
    void unreadableIdleTimeIsNotSticky()
    {
        PreferencesHome home;
        UserDefaults *defaults = UserDefaults::standardUserDefaults();
        defaults->setObject(true, Preferences::pinGrowlNotifications);
        FakeIdleTimeProvider::install()->value = QVariant();
        QVERIFY(!NotificationPinning::shouldPin(*defaults));
    }
};

QTEST_GUILESS_MAIN(tst_IdleTime)
#include "tst_idletime.moc"
