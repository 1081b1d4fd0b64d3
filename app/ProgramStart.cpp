#include "app/ProgramStart.h"

#include <QCoreApplication>
#include <QDir>

#include "app/DesktopPlatform.h"
#include "controller/RSSBrevlinController.h"
#include "model/FeedPasswords.h"

namespace ProgramStart {

void describeApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("rss-brevlin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BREVLIN_VERSION));
    RSSBrevlinController::initialize();
    // Asked only when a feed with a login is fetched or its password edited.
    FeedPasswords::instance()->setKeyring(DesktopPlatform::createPasswordStore(QCoreApplication::instance()));
}

QString installedPluginFolder(const QString &programFolder)
{
    return QDir::cleanPath(QDir(programFolder).absoluteFilePath(QStringLiteral(BREVLIN_PLUGIN_DIR)));
}

} // namespace ProgramStart
