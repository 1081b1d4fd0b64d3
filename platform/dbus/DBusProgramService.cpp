#include "platform/dbus/DBusProgramService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QMetaMethod>

#include "platform/PlatformLog.h"

namespace {

// The running program answers at once; one that does not is stuck, not busy.
constexpr int callTimeoutMs = 15'000;

QDBusMessage methodCall(const QString &method)
{
    return QDBusMessage::createMethodCall(DBusProgramService::serviceName, DBusProgramService::objectPath,
                                          DBusProgramService::interfaceName, method);
}

QVariantMap addOptions(const StoreEdit &edit)
{
    QVariantMap options;
    if (edit.name) {
        options.insert(QStringLiteral("name"), *edit.name);
    }
    if (edit.login) {
        options.insert(QStringLiteral("login"), *edit.login);
    }
    if (edit.password) {
        options.insert(QStringLiteral("password"), *edit.password);
    }
    options.insert(QStringLiteral("recent"), edit.recent);
    return options;
}

std::optional<QString> optionalString(const QVariantMap &options, const QString &key)
{
    const auto found = options.constFind(key);
    return found == options.cend() ? std::nullopt : std::optional<QString>(found->toString());
}

} // namespace

const QString DBusProgramService::serviceName = QStringLiteral("org.rssbrevlin.RssBrevlin");
const QString DBusProgramService::objectPath = QStringLiteral("/RssBrevlin");
const QString DBusProgramService::interfaceName = QStringLiteral("org.rssbrevlin.RssBrevlin");

DBusProgramService::~DBusProgramService()
{
    if (m_registered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(objectPath);
        bus.unregisterService(serviceName);
    }
}

bool DBusProgramService::registerProgram()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcPlatform, "DBusProgramService: no session bus");
        return false;
    }
    // The object first, so that whoever sees the name can call it at once.
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots)) {
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        serviceName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    m_registered = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    if (!m_registered) {
        bus.unregisterObject(objectPath);
    }
    return m_registered;
}

ProgramService::ShowOutcome DBusProgramService::askToShowSubscriptions()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        setErrorString(tr("no session bus"));
        return ShowOutcome::NoAnswer;
    }
    const QDBusMessage reply = bus.call(methodCall(QStringLiteral("ShowSubscriptions")), QDBus::Block, callTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return ShowOutcome::Shown;
    }
    setErrorString(reply.errorMessage());
    return reply.errorName() == QDBusError::errorString(QDBusError::NotSupported) ? ShowOutcome::Refused
                                                                                  : ShowOutcome::NoAnswer;
}

std::optional<StoreEditReply> DBusProgramService::askToEdit(const QString &storePath, const StoreEdit &edit)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        setErrorString(tr("no session bus"));
        return std::nullopt;
    }
    QDBusMessage call;
    switch (edit.kind) {
    case StoreEdit::Kind::AddFeed:
        call = methodCall(QStringLiteral("AddFeed"));
        call << storePath << edit.argument << addOptions(edit);
        break;
    case StoreEdit::Kind::RemoveFeed:
        call = methodCall(QStringLiteral("RemoveFeed"));
        call << storePath << edit.argument;
        break;
    case StoreEdit::Kind::ImportOpml:
        call = methodCall(QStringLiteral("ImportOpml"));
        call << storePath << edit.argument << edit.document;
        break;
    case StoreEdit::Kind::SetPreference:
        call = methodCall(QStringLiteral("SetPreference"));
        call << storePath << edit.argument << edit.value;
        break;
    }
    const QDBusMessage reply = bus.call(call, QDBus::Block, callTimeoutMs);
    const QVariantList values = reply.arguments();
    if (reply.type() != QDBusMessage::ReplyMessage || values.size() != 3) {
        setErrorString(reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : tr("unexpected answer"));
        return std::nullopt;
    }
    return StoreEditReply{values.at(0).toInt(), values.at(1).toString(), values.at(2).toStringList()};
}

void DBusProgramService::ShowSubscriptions()
{
    // Answered as a success, a second start would end believing a window came forward.
    if (!isSignalConnected(QMetaMethod::fromSignal(&ProgramService::showSubscriptionsRequested))) {
        sendErrorReply(QDBusError::NotSupported,
                       tr("the RSS Brevlin running on this store has no windows (it was started with --headless)"));
        return;
    }
    Q_EMIT showSubscriptionsRequested();
}

int DBusProgramService::answer(const QString &store, const StoreEdit &edit, QString &output, QStringList &errors) const
{
    const StoreEditReply reply = handleEdit(store, edit);
    output = reply.output;
    errors = reply.errorLines;
    return reply.exitCode;
}

int DBusProgramService::AddFeed(const QString &store, const QString &url, const QVariantMap &options, QString &output,
                                QStringList &errors)
{
    StoreEdit edit;
    edit.kind = StoreEdit::Kind::AddFeed;
    edit.argument = url;
    edit.name = optionalString(options, QStringLiteral("name"));
    edit.login = optionalString(options, QStringLiteral("login"));
    edit.password = optionalString(options, QStringLiteral("password"));
    edit.recent = options.value(QStringLiteral("recent")).toBool();
    return answer(store, edit, output, errors);
}

int DBusProgramService::RemoveFeed(const QString &store, const QString &urlOrName, QString &output, QStringList &errors)
{
    StoreEdit edit;
    edit.kind = StoreEdit::Kind::RemoveFeed;
    edit.argument = urlOrName;
    return answer(store, edit, output, errors);
}

int DBusProgramService::ImportOpml(const QString &store, const QString &source, const QByteArray &document,
                                   QString &output, QStringList &errors)
{
    StoreEdit edit;
    edit.kind = StoreEdit::Kind::ImportOpml;
    edit.argument = source;
    edit.document = document;
    return answer(store, edit, output, errors);
}

int DBusProgramService::SetPreference(const QString &store, const QString &key, const QString &value, QString &output,
                                      QStringList &errors)
{
    StoreEdit edit;
    edit.kind = StoreEdit::Kind::SetPreference;
    edit.argument = key;
    edit.value = value;
    return answer(store, edit, output, errors);
}
