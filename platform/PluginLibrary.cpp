#include "platform/PluginLibrary.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace PluginLibrary {

QFunctionPointer resolve(const QString &fileName, const char *functionName, const QStringList &folders, QString *error)
{
    QStringList errors;
    for (const QString &folder : folders) {
        const QString path = QDir(folder).filePath(fileName);
        if (!QFileInfo::exists(path)) {
            continue;
        }
        QLibrary plugin(path);
        // Never unloaded: a plugin's threads and static data live until the process ends. Every
        // symbol is bound now, so that a plugin of another build fails here instead of later.
        plugin.setLoadHints(QLibrary::PreventUnloadHint | QLibrary::ResolveAllSymbolsHint);
        if (const QFunctionPointer function = plugin.resolve(functionName)) {
            return function;
        }
        errors.append(plugin.errorString());
    }
    if (errors.isEmpty()) {
        errors.append(QStringLiteral("%1 is in none of %2").arg(fileName, folders.join(QStringLiteral(", "))));
    }
    *error = errors.join(QStringLiteral("; "));
    return nullptr;
}

} // namespace PluginLibrary
