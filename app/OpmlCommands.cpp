#include "app/OpmlCommands.h"

#include <QDateTime>
#include <QTextStream>

#include "app/StoreAccess.h"
#include "model/OpmlReader.h"
#include "model/OpmlTransfer.h"
#include "model/OpmlWriter.h"
#include "platform/StandardErrorAlerts.h"

namespace OpmlCommands {

CommandResult import(Rss_Brevlin_AppDelegate *delegate, const QString &path, QTextStream &out)
{
    QString error;
    const std::optional<QList<Subscription>> subscriptions = OpmlReader::readFile(path, &error);
    if (!subscriptions) {
        return CommandResult::failure(error);
    }
    StoreAccess store(delegate);
    const std::optional<QList<RSSFeed *>> feeds = store.feeds();
    if (!feeds) {
        return store.result();
    }
    const OpmlTransfer::ImportResult result = OpmlTransfer::subscribeAll(store.context(), *feeds, *subscriptions);
    for (const QString &url : result.unusableAddresses) {
        StandardErrorAlerts::printLine(QStringLiteral("skipped '%1': not a feed address").arg(url));
    }
    if (!store.save()) {
        return store.result();
    }
    out << QStringLiteral("added %1, skipped %2\n").arg(result.added).arg(result.skipped);
    return CommandResult::success();
}

CommandResult exportTo(Rss_Brevlin_AppDelegate *delegate, const QString &path, QTextStream &out)
{
    StoreAccess store(delegate);
    const std::optional<QList<RSSFeed *>> feeds = store.feeds();
    if (!feeds) {
        return store.result();
    }
    if (path.isEmpty() || path == QLatin1String("-")) {
        out << QString::fromUtf8(OpmlWriter::write(*feeds, QDateTime::currentDateTimeUtc()));
        return CommandResult::success();
    }
    QString error;
    if (!OpmlTransfer::exportFile(*feeds, path, &error)) {
        return CommandResult::failure(QStringLiteral("cannot write %1: %2").arg(path, error));
    }
    return CommandResult::success();
}

} // namespace OpmlCommands
