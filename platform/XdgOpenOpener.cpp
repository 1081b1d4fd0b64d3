#include "platform/XdgOpenOpener.h"

#include <QProcess>

#include "platform/PlatformLog.h"

void XdgOpenOpener::openUrl(const QUrl &url)
{
    QProcess process;
    process.setProgram(QStringLiteral("xdg-open"));
    // Every xdg-open reads a path; not every one reads a file URL. Both are absolute, so neither
    // can be taken for an option.
    process.setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
    // The browser it may run in its place writes nothing into a command's output.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        qCWarning(lcPlatform, "XdgOpenOpener::openUrl: cannot start xdg-open for %s: %s",
                  qPrintable(url.toDisplayString()), qPrintable(process.errorString()));
    }
}
