#include "platform/LazyWebArchiver.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include "platform/PlatformLog.h"
#include "platform/WebArchiveJob.h"

namespace {

using CreateArchiver = WebArchiver *(*)(QObject *parent);

const char createFunctionName[] = "brevlinCreateWebArchiver";

} // namespace

LazyWebArchiver::LazyWebArchiver(const QString &pluginFolder, QObject *parent)
    : WebArchiver(parent)
    , m_pluginFolder(pluginFolder)
{
}

// The engine is a child, but Qt WebEngine must close its pages while the application still
// exists: deleting it here, from a destructor that runs before the application's, is in time.
LazyWebArchiver::~LazyWebArchiver()
{
    delete m_engine;
}

QString LazyWebArchiver::pluginFileName()
{
    return QStringLiteral("brevlin-webarchiver.so");
}

std::unique_ptr<WebArchiveJob> LazyWebArchiver::archive(const QUrl &url, const QString &path)
{
    if (WebArchiver *engine = loadEngine()) {
        return engine->archive(url, path);
    }
    // Reported from the event loop, as a real load reports: the caller connects after this returns.
    auto job = std::make_unique<WebArchiveJob>();
    const QString description = m_loadError;
    QMetaObject::invokeMethod(
        job.get(), [job = job.get(), description] { Q_EMIT job->failed(description, QString()); },
        Qt::QueuedConnection);
    return job;
}

WebArchiver *LazyWebArchiver::loadEngine()
{
    if (m_engine || !m_loadError.isEmpty()) {
        return m_engine;
    }
    const QStringList folders{QCoreApplication::applicationDirPath(), m_pluginFolder};
    QStringList errors;
    for (const QString &folder : folders) {
        const QString path = QDir(folder).filePath(pluginFileName());
        if (!QFileInfo::exists(path)) {
            continue;
        }
        QLibrary plugin(path);
        // Never unloaded: the engine's threads and static data live until the process ends.
        plugin.setLoadHints(QLibrary::PreventUnloadHint);
        const auto create = reinterpret_cast<CreateArchiver>(plugin.resolve(createFunctionName));
        if (create) {
            m_engine = create(this);
            return m_engine;
        }
        errors.append(plugin.errorString());
    }
    if (errors.isEmpty()) {
        errors.append(QStringLiteral("%1 is in none of %2").arg(pluginFileName(), folders.join(QStringLiteral(", "))));
    }
    m_loadError =
        QStringLiteral("The page cache cannot load the browser engine: %1").arg(errors.join(QStringLiteral("; ")));
    qCWarning(lcPlatform, "%s", qPrintable(m_loadError));
    return nullptr;
}
