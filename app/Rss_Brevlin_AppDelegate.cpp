#include "app/Rss_Brevlin_AppDelegate.h"

#include <QDir>
#include <QFile>

#include "platform/Alerts.h"
#include "platform/BrevlinFolders.h"
#include "platform/OwnerOnly.h"
#include "store/ObjectContext.h"

namespace {

const QString storeFileName = QStringLiteral("Rss_Brevlin.sql");

} // namespace

Rss_Brevlin_AppDelegate::Rss_Brevlin_AppDelegate(Alerts *alerts, QObject *parent)
    : QObject(parent)
    , m_alerts(alerts)
{
}

Rss_Brevlin_AppDelegate::~Rss_Brevlin_AppDelegate()
{
    delete m_context;
    if (m_movedFolders) {
        BrevlinFolders::setDirectorySearch({});
    }
}

void Rss_Brevlin_AppDelegate::setDirectorySearch(BrevlinFolders::DirectorySearch search)
{
    m_movedFolders = true;
    BrevlinFolders::setDirectorySearch(std::move(search));
}

QString Rss_Brevlin_AppDelegate::applicationSupportFolder() const
{
    return BrevlinFolders::applicationSupportFolder();
}

QString Rss_Brevlin_AppDelegate::cachesFolder() const
{
    return BrevlinFolders::cachesFolder();
}

QString Rss_Brevlin_AppDelegate::pdfFolder() const
{
    return QDir(applicationSupportFolder()).filePath(QStringLiteral("PDFs"));
}

QString Rss_Brevlin_AppDelegate::storeFilePath() const
{
    return QDir(applicationSupportFolder()).filePath(storeFileName);
}

QString Rss_Brevlin_AppDelegate::managedObjectModel()
{
    if (!m_managedObjectModel) {
        QFile resource(QStringLiteral(":/Rss_Brevlin_DataModel"));
        m_managedObjectModel = resource.open(QIODevice::ReadOnly) ? QString::fromUtf8(resource.readAll()) : QString();
    }
    return *m_managedObjectModel;
}

bool Rss_Brevlin_AppDelegate::prepareStoreFolder(QString *errorString) const
{
    // The folder holds the store with the feeds' passwords: owner only, even when an older
    // version or the user made it wider.
    const QString folder = applicationSupportFolder();
    if (!OwnerOnly::makeFolder(folder, errorString)) {
        return false;
    }
    QString error;
    if (!OwnerOnly::restrict(folder, &error)) {
        *errorString = tr("The folder \"%1\" could not be made private: %2").arg(folder, error);
        return false;
    }
    return true;
}

StoreLock::Outcome Rss_Brevlin_AppDelegate::lockStore()
{
    if (m_lock && m_lock->isLocked()) {
        return StoreLock::Outcome::Locked;
    }
    if (!prepareStoreFolder(&m_lockErrorString)) {
        return StoreLock::Outcome::Failed;
    }
    m_lock = std::make_unique<StoreLock>(storeFilePath());
    const StoreLock::Outcome outcome = m_lock->tryLock();
    m_lockErrorString = m_lock->errorString();
    return outcome;
}

ObjectContext *Rss_Brevlin_AppDelegate::managedObjectContext()
{
    if (m_context) {
        return m_context;
    }
    m_context = new ObjectContext;
    m_context->setChecksFeeds(m_checksFeeds);
    QString folderError;
    if (!prepareStoreFolder(&folderError)) {
        m_alerts->presentError(folderError);
    } else if (!m_context->open(storeFilePath(), managedObjectModel())) {
        m_alerts->presentError(m_context->errorString());
    }
    return m_context;
}

bool Rss_Brevlin_AppDelegate::hasStore() const
{
    return m_context && m_context->isOpen();
}

QUndoStack *Rss_Brevlin_AppDelegate::windowWillReturnUndoManager()
{
    return managedObjectContext()->undoManager();
}

void Rss_Brevlin_AppDelegate::saveAction()
{
    ObjectContext *context = managedObjectContext();
    if (!context->save()) {
        m_alerts->presentError(context->errorString());
    }
}

Rss_Brevlin_AppDelegate::TerminateReply Rss_Brevlin_AppDelegate::applicationShouldTerminate()
{
    if (!m_context) {
        return TerminateReply::TerminateNow;
    }
    ObjectContext *context = m_context;
    if (!context->commitEditing()) {
        return TerminateReply::TerminateCancel;
    }
    if (!context->hasChanges() || context->save()) {
        return TerminateReply::TerminateNow;
    }
    if (m_alerts->presentError(context->errorString())) {
        return TerminateReply::TerminateCancel;
    }
    const Alerts::Response answer = m_alerts->runAlertPanel(
        QString(), tr("Could not save changes while quitting. Quit anyway?"), tr("Quit anyway"), tr("Cancel"));
    return answer == Alerts::Response::Default ? TerminateReply::TerminateNow : TerminateReply::TerminateCancel;
}
