#include "app/OpmlCommands.h"

#include <QDateTime>
#include <QTextStream>

#include "app/StoreAccess.h"
#include "model/OpmlReader.h"
#include "model/OpmlWriter.h"

namespace OpmlCommands {

std::optional<QList<Subscription>> subscriptionsOf(const QByteArray &document, const QString &path,
                                                   CommandResult *failure)
{
    QString error;
    std::optional<QList<Subscription>> subscriptions = OpmlReader::readDocument(document, path, &error);
    if (!subscriptions) {
        *failure = CommandResult::failure(error);
    }
    return subscriptions;
}

CommandResult finishImport(StoreAccess &store, const OpmlTransfer::ImportResult &result, QTextStream &out)
{
    QStringList skipped;
    for (const QString &url : result.unusableAddresses) {
        skipped.append(QStringLiteral("skipped '%1': not a feed address").arg(url));
    }
    CommandResult outcome = store.save() ? CommandResult::success() : store.result();
    outcome.warnings = skipped;
    if (outcome.exitCode == CommandResult::Success) {
        out << QStringLiteral("added %1, skipped %2\n").arg(result.added).arg(result.skipped);
    }
    return outcome;
}

CommandResult import(Rss_Brevlin_AppDelegate *delegate, const QByteArray &document, const QString &path,
                     QTextStream &out)
{
    CommandResult failure;
    const std::optional<QList<Subscription>> subscriptions = subscriptionsOf(document, path, &failure);
    if (!subscriptions) {
        return failure;
    }
    StoreAccess store(delegate);
    const std::optional<QList<RSSFeed *>> feeds = store.feeds();
    if (!feeds) {
        return store.result();
    }
    return finishImport(store, OpmlTransfer::subscribeAll(store.context(), *feeds, *subscriptions), out);
}

CommandResult exportTo(Rss_Brevlin_AppDelegate *delegate, const QString &path, QTextStream &out)
{
    StoreAccess store(delegate, StoreAccess::Reach::FeedsOnly);
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
