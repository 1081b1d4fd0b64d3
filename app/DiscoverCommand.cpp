#include "app/DiscoverCommand.h"

#include <QEventLoop>
#include <QTextStream>
#include <QUrl>

#include "app/TabSeparated.h"
#include "model/FeedDiscovery.h"
#include "model/OpenPolicy.h"

namespace DiscoverCommand {

CommandResult run(const QString &address, QTextStream &out)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!OpenPolicy::isWebPage(url)) {
        return CommandResult::usage(QStringLiteral("'%1' is not an http or https address").arg(address));
    }
    FeedDiscovery discovery(url);
    QEventLoop loop;
    QObject::connect(&discovery, &FeedDiscovery::finished, &loop, &QEventLoop::quit);
    discovery.start();
    loop.exec();
    if (!discovery.errorString().isEmpty()) {
        return CommandResult::failure(discovery.errorString());
    }
    if (discovery.feeds().isEmpty()) {
        return CommandResult::failure(QStringLiteral("no feed found at %1").arg(address));
    }
    for (const DiscoveredFeed &feed : discovery.feeds()) {
        out << TabSeparated::line({feed.url.toString(), feed.title, feed.format});
    }
    return CommandResult::success();
}

} // namespace DiscoverCommand
