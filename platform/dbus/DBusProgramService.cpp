#include "platform/dbus/DBusProgramService.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QFileInfo>
#include <QMetaMethod>
#include <QTimer>

#include <limits>

#include "platform/PlatformLog.h"
#include "platform/StoreLock.h"

namespace {

// The running program answers at once, or reports progress on a long edit; one that stays
// silent this long is stuck, not busy.
constexpr int silenceTimeoutMs = 15'000;

QDBusMessage methodCall(const QString &owner, const QString &method)
{
    return QDBusMessage::createMethodCall(owner, DBusProgramService::objectPath, DBusProgramService::interfaceName,
                                          method);
}

// What an added and an edited feed both may be given: its name, login and password.
QVariantMap feedOptions(const StoreEdit &edit)
{
    QVariantMap options;
    if (edit.name) {
        options.insert(QStringLiteral("name"), *edit.name);
    }
    if (edit.credentials.login) {
        options.insert(QStringLiteral("login"), *edit.credentials.login);
    }
    if (edit.credentials.password) {
        options.insert(QStringLiteral("password"), *edit.credentials.password);
    }
    return options;
}

QVariantMap addOptions(const StoreEdit &edit)
{
    QVariantMap options = feedOptions(edit);
    options.insert(QStringLiteral("recent"), edit.recent.value_or(false));
    return options;
}

QVariantMap editOptions(const StoreEdit &edit)
{
    QVariantMap options = feedOptions(edit);
    if (edit.notify) {
        options.insert(QStringLiteral("notify"), *edit.notify);
    }
    if (edit.interval) {
        options.insert(QStringLiteral("interval"), *edit.interval);
    }
    if (edit.recent) {
        options.insert(QStringLiteral("recent"), *edit.recent);
    }
    return options;
}

std::optional<bool> optionalBool(const QVariantMap &options, const QString &key)
{
    const auto found = options.constFind(key);
    return found == options.cend() ? std::nullopt : std::optional<bool>(found->toBool());
}

std::optional<QString> optionalString(const QVariantMap &options, const QString &key)
{
    const auto found = options.constFind(key);
    return found == options.cend() ? std::nullopt : std::optional<QString>(found->toString());
}

// The feed's kind of edit, for the URL or name, with what feedOptions() sent.
StoreEdit feedEdit(StoreEdit::Kind kind, const QString &urlOrName, const QVariantMap &options)
{
    StoreEdit edit;
    edit.kind = kind;
    edit.argument = urlOrName;
    edit.name = optionalString(options, QStringLiteral("name"));
    edit.credentials = {optionalString(options, QStringLiteral("login")),
                        optionalString(options, QStringLiteral("password"))};
    return edit;
}

QDBusMessage editCall(const QString &owner, const QString &storePath, const StoreEdit &edit)
{
    QDBusMessage call;
    switch (edit.kind) {
    case StoreEdit::Kind::AddFeed:
        call = methodCall(owner, QStringLiteral("AddFeed"));
        call << storePath << edit.argument << addOptions(edit);
        break;
    case StoreEdit::Kind::EditFeed:
        call = methodCall(owner, QStringLiteral("EditFeed"));
        call << storePath << edit.argument << editOptions(edit);
        break;
    case StoreEdit::Kind::RemoveFeed:
        call = methodCall(owner, QStringLiteral("RemoveFeed"));
        call << storePath << edit.argument;
        break;
    case StoreEdit::Kind::ImportOpml:
        call = methodCall(owner, QStringLiteral("ImportOpml"));
        call << storePath << edit.argument << edit.document;
        break;
    case StoreEdit::Kind::SetPreference:
        call = methodCall(owner, QStringLiteral("SetPreference"));
        call << storePath << edit.argument << edit.value;
        break;
    }
    return call;
}

// Errors the bus itself gives when the callee ended or stayed silent: the call reached it.
bool callReachedTheProgram(const QDBusError &error)
{
    return error.type() == QDBusError::NoReply || error.type() == QDBusError::Disconnected
        || error.type() == QDBusError::Timeout || error.type() == QDBusError::TimedOut;
}

} // namespace

const QString DBusProgramService::objectPath = QStringLiteral("/RssBrevlin");
const QString DBusProgramService::interfaceName = QStringLiteral("org.rssbrevlin.RssBrevlin");

QString DBusProgramService::serviceNameFor(const QString &storePath)
{
    // A bus name allows only letters, digits and "_" in its parts: a digest stands for the
    // path, taken through the store's folder as it really is so every spelling gives one name.
    const QFileInfo store(storePath);
    const QString folder = QFileInfo(store.absolutePath()).canonicalFilePath();
    const QString path = (folder.isEmpty() ? store.absolutePath() : folder) + QLatin1Char('/') + store.fileName();
    const QByteArray digest = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return QStringLiteral("org.rssbrevlin.RssBrevlin.Store_") + QString::fromLatin1(digest);
}

DBusProgramService::DBusProgramService(QObject *parent)
    : DBusProgramService(QDBusConnection::sessionBus(), parent)
{
}

DBusProgramService::DBusProgramService(const QDBusConnection &bus, QObject *parent)
    : ProgramService(parent)
    , m_bus(bus)
{
}

DBusProgramService::~DBusProgramService()
{
    if (m_registered) {
        m_bus.unregisterObject(objectPath);
        m_bus.unregisterService(m_serviceName);
    }
}

bool DBusProgramService::registerProgram(const QString &storePath)
{
    if (!m_bus.isConnected()) {
        qCWarning(lcPlatform, "DBusProgramService: no session bus");
        return false;
    }
    // The object first, so that whoever sees the name can call it at once.
    if (!m_bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots)) {
        return false;
    }
    m_serviceName = serviceNameFor(storePath);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = m_bus.interface()->registerService(
        m_serviceName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    m_registered = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    if (!m_registered) {
        m_bus.unregisterObject(objectPath);
    }
    return m_registered;
}

void DBusProgramService::reportEditProgress(int done, int total)
{
    // Sent by hand: exporting the object's signals would connect to all of them, and
    // ShowSubscriptions tells a program with windows by whether its signal is connected.
    QDBusMessage signal = QDBusMessage::createSignal(objectPath, interfaceName, QStringLiteral("EditProgress"));
    signal << done << total;
    m_bus.send(signal);
}

std::optional<QString> DBusProgramService::verifiedOwner(const QString &storePath)
{
    if (!m_bus.isConnected()) {
        setErrorString(tr("no session bus"));
        return std::nullopt;
    }
    const QDBusReply<QString> owner = m_bus.interface()->serviceOwner(serviceNameFor(storePath));
    if (!owner.isValid()) {
        setErrorString(tr("no RSS Brevlin answers for this store on the session bus"));
        return std::nullopt;
    }
    // Any process of the session may claim a name: only the one the kernel names as the lock's
    // holder is the store's owner, and nothing (a password least of all) goes to another. The
    // call then goes to the owner's unique name, which no other process can take over meanwhile.
    const QDBusReply<uint> processId = m_bus.interface()->servicePid(owner.value());
    const std::optional<qint64> holder = StoreLock::holderProcessId(storePath);
    if (!processId.isValid() || !holder || qint64(processId.value()) != *holder) {
        setErrorString(tr("the process that answers for this store on the session bus (pid %1) does not hold "
                          "its lock (%2)")
                           .arg(processId.isValid() ? QString::number(processId.value()) : tr("unknown"),
                                holder ? tr("held by pid %1").arg(*holder) : tr("held by none")));
        return std::nullopt;
    }
    return owner.value();
}

bool DBusProgramService::isOwnerReachable(const QString &storePath)
{
    return verifiedOwner(storePath).has_value();
}

ProgramService::ShowOutcome DBusProgramService::askToShowSubscriptions(const QString &storePath)
{
    const std::optional<QString> owner = verifiedOwner(storePath);
    if (!owner) {
        return ShowOutcome::NoAnswer;
    }
    const QDBusMessage reply =
        m_bus.call(methodCall(*owner, QStringLiteral("ShowSubscriptions")), QDBus::Block, silenceTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return ShowOutcome::Shown;
    }
    setErrorString(reply.errorMessage());
    return reply.errorName() == QDBusError::errorString(QDBusError::NotSupported) ? ShowOutcome::Refused
                                                                                  : ShowOutcome::NoAnswer;
}

ProgramService::EditAnswer DBusProgramService::askToEdit(const QString &storePath, const StoreEdit &edit)
{
    const std::optional<QString> owner = verifiedOwner(storePath);
    if (!owner) {
        return {};
    }
    // QDBusConnection::connect takes only a slot's name.
    m_bus.connect(*owner, objectPath, interfaceName, QStringLiteral("EditProgress"), this,
                  SLOT(onEditProgress(int, int)));
    const EditAnswer answer = waitForAnswer(editCall(*owner, storePath, edit));
    m_bus.disconnect(*owner, objectPath, interfaceName, QStringLiteral("EditProgress"), this,
                     SLOT(onEditProgress(int, int)));
    return answer;
}

ProgramService::EditAnswer DBusProgramService::waitForAnswer(const QDBusMessage &call)
{
    // No limit on the call itself: a long import answers when it is done, and its progress
    // shows it is still at work. Silence ends the wait.
    QDBusPendingCallWatcher watcher(m_bus.asyncCall(call, std::numeric_limits<int>::max()));
    QEventLoop loop;
    QTimer silence;
    silence.setSingleShot(true);
    connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    connect(&silence, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &ProgramService::editProgressed, &silence, [&silence] { silence.start(); });
    silence.start(silenceTimeoutMs);
    loop.exec();
    if (!watcher.isFinished()) {
        setErrorString(tr("the running RSS Brevlin took the change but gave no word for %1 s; it may still make it")
                           .arg(silenceTimeoutMs / 1000));
        return {EditAnswer::Status::Unknown, {}};
    }
    const QDBusMessage reply = watcher.reply();
    const QVariantList values = reply.arguments();
    if (reply.type() == QDBusMessage::ReplyMessage && values.size() == 3) {
        return {EditAnswer::Status::Answered,
                {values.at(0).toInt(), values.at(1).toString(), values.at(2).toStringList()}};
    }
    if (reply.type() == QDBusMessage::ErrorMessage && callReachedTheProgram(watcher.error())) {
        setErrorString(tr("the running RSS Brevlin took the change but ended before it answered (%1); it may have "
                          "made it, in part or whole")
                           .arg(reply.errorMessage()));
        return {EditAnswer::Status::Unknown, {}};
    }
    setErrorString(reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : tr("unexpected answer"));
    return {};
}

void DBusProgramService::onEditProgress(int done, int total)
{
    Q_EMIT editProgressed(done, total);
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

int DBusProgramService::answer(const QString &store, const StoreEdit &edit)
{
    // Answered when the edit is done, which for a long import is after many turns of the
    // event loop; the method's own return values are not used.
    setDelayedReply(true);
    const QDBusMessage call = message();
    QDBusConnection bus = connection();
    handleEdit(store, edit, [call, bus](const StoreEditReply &reply) mutable {
        bus.send(call.createReply(QVariantList{reply.exitCode, reply.output, reply.errorLines}));
    });
    return 0;
}

int DBusProgramService::AddFeed(const QString &store, const QString &url, const QVariantMap &options, QString &,
                                QStringList &)
{
    StoreEdit edit = feedEdit(StoreEdit::Kind::AddFeed, url, options);
    edit.recent = options.value(QStringLiteral("recent")).toBool();
    return answer(store, edit);
}

int DBusProgramService::EditFeed(const QString &store, const QString &urlOrName, const QVariantMap &options, QString &,
                                 QStringList &)
{
    StoreEdit edit = feedEdit(StoreEdit::Kind::EditFeed, urlOrName, options);
    edit.notify = optionalBool(options, QStringLiteral("notify"));
    edit.recent = optionalBool(options, QStringLiteral("recent"));
    const auto interval = options.constFind(QStringLiteral("interval"));
    if (interval != options.cend()) {
        edit.interval = interval->toLongLong();
    }
    return answer(store, edit);
}

int DBusProgramService::RemoveFeed(const QString &store, const QString &urlOrName, QString &, QStringList &)
{
    StoreEdit edit;
    edit.kind = StoreEdit::Kind::RemoveFeed;
    edit.argument = urlOrName;
    return answer(store, edit);
}

int DBusProgramService::ImportOpml(const QString &store, const QString &source, const QByteArray &document, QString &,
                                   QStringList &)
{
    StoreEdit edit;
    edit.kind = StoreEdit::Kind::ImportOpml;
    edit.argument = source;
    edit.document = document;
    return answer(store, edit);
}

int DBusProgramService::SetPreference(const QString &store, const QString &key, const QString &value, QString &,
                                      QStringList &)
{
    StoreEdit edit;
    edit.kind = StoreEdit::Kind::SetPreference;
    edit.argument = key;
    edit.value = value;
    return answer(store, edit);
}
