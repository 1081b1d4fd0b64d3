#include "platform/LazyWebArchiver.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QOpenGLContext>

#include "platform/NetworkProxy.h"
#include "platform/PlatformLog.h"
#include "platform/PluginLibrary.h"
#include "platform/WebArchiveJob.h"

QT_BEGIN_NAMESPACE
// Qt Gui's own setter of the global share context; Qt WebEngine declares it the same way.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
QT_END_NAMESPACE

namespace {

using CreateArchiver = WebArchiver *(*)(QObject *parent);

const char createFunctionName[] = "brevlinCreateWebArchiver";

QOpenGLContext *sharedContext = nullptr;

void deleteSharedContext()
{
    if (QOpenGLContext::globalShareContext() == sharedContext) {
        qt_gl_set_global_share_context(nullptr);
    }
    delete sharedContext;
    sharedContext = nullptr;
}

// Qt WebEngine draws with contexts that share the application's global one. Linked into the
// program it would make that context as the application starts, at the price of the graphics
// drivers in every process; loaded later, it finds the one made here.
void shareOpenGLContexts()
{
    if (QOpenGLContext::globalShareContext()) {
        return;
    }
    sharedContext = new QOpenGLContext;
    sharedContext->setFormat(QSurfaceFormat::defaultFormat());
    sharedContext->create();
    qAddPostRoutine(deleteSharedContext);
    qt_gl_set_global_share_context(sharedContext);
}

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
        // The engine makes its own connections, by the application's proxy: set from the
        // preference before each page, so a page never goes around the proxy the feeds use.
        NetworkProxy::applyToApplication();
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
    if (!m_engine && m_loadError.isEmpty()) {
        m_loadError = loadPlugin();
        if (!m_engine) {
            qCWarning(lcPlatform, "%s", qPrintable(m_loadError));
        }
    }
    return m_engine;
}

QString LazyWebArchiver::loadPlugin()
{
    const QString failure = QStringLiteral("The page cache cannot load the browser engine: %1");
    // Qt WebEngine renders through Qt Gui, which the program starts only with the cache on.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        return failure.arg(QStringLiteral("the program was started with the page cache off"));
    }
    // Made before the plugin loads: Qt WebEngine looks for the shared context as it loads.
    shareOpenGLContexts();
    QString error;
    const auto create = reinterpret_cast<CreateArchiver>(PluginLibrary::resolve(
        pluginFileName(), createFunctionName, {QCoreApplication::applicationDirPath(), m_pluginFolder}, &error));
    if (!create) {
        return failure.arg(error);
    }
    m_engine = create(this);
    return QString();
}
