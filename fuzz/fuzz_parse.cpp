// Arbitrary bytes as a downloaded feed document: built into a tree, parsed into a fresh feed of
// an in-memory object context, and every stored entry presented the way the menu and the
// notifications present it. Nothing may crash, leak or stall, and what is stored and what would
// be opened keeps the properties the rest of the program relies on.

#include "model/RSSFeed.h"
#include "model/RSSItem.h"
#include "model/SubLink.h"
#include "model/parsing/XmlDocument.h"
#include "platform/BrevlinFolders.h"
#include "platform/Opener.h"
#include "store/ObjectContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// Only web pages, issue references and our own cached pages may ever reach the desktop.
class CheckingOpener : public Opener
{
public:
    void openUrl(const QUrl &url) override
    {
        const QString scheme = url.scheme();
        check(
            scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("rdar")
            || (url.isLocalFile() && url.toLocalFile().startsWith(BrevlinFolders::cachesFolder() + QLatin1Char('/'))));
    }
};

void checkSubLink(SubLink &subLink, const RSSItem &owner)
{
    check(subLink.owner() == &owner);
    const QString link = subLink.link().value_or(QString());
    const bool isRdar = link.startsWith(QLatin1String("rdar://"));
    check(isRdar || link.startsWith(QLatin1String("http://")));
    check(isRdar == subLink.text().has_value());
    check(!subLink.subLinkMenuItem().title.isEmpty());
    subLink.openLink();
}

void presentEntry(RSSItem &entry, const RSSFeed &feed)
{
    check(entry.feed() == &feed);
    check(!entry.text() || !entry.text()->isNull());
    entry.brevlinTitle();
    entry.brevlinDescription();
    const MenuItem item = entry.menuItem();
    check(item.target == &entry);
    entry.openFeed();
    for (const auto &subLink : entry.subLinks()) {
        checkSubLink(*subLink, entry);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QTemporaryDir home;
    for (const char *name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
        qputenv(name, home.path().toUtf8() + '/' + name);
    }
    QDir().mkpath(home.path() + QStringLiteral("/XDG_RUNTIME_DIR"));
    // Without a GUI application object, as the command line reads entry text: markup the HTML
    // reader could not take there then shows as a crash.
    static QCoreApplication application(*argc, *argv);
    static CheckingOpener opener;
    Opener::setShared(&opener);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    ObjectContext context;
    RSSFeed *feed = RSSFeed::insert(&context);
    // The three states the date filter knows: never fetched, no date, and a real date.
    switch (size % 3) {
    case 0:
        break;
    case 1:
        feed->setLastFetchDate(std::nullopt);
        break;
    default:
        feed->setLastFetchDate(QDateTime(QDate(2004, 1, 1), QTime(0, 0), QTimeZone::utc()));
        break;
    }
    const std::optional<QDateTime> before = feed->lastFetchDate();
    const std::unique_ptr<XmlDocument> document = XmlDocument::fromData(bytes);
    feed->parseDocument(document.get());
    if (!document) {
        check(feed->lastFetchDate() == before && feed->feedEntries().isEmpty());
    }
    // Identifiers are exact: no two entries share one, and at most one has none.
    QSet<QString> identifiers;
    int unidentified = 0;
    for (RSSItem *entry : feed->feedEntries()) {
        presentEntry(*entry, *feed);
        if (entry->guid()) {
            check(!identifiers.contains(*entry->guid()));
            identifiers.insert(*entry->guid());
        } else {
            check(++unidentified <= 1);
        }
    }
    return 0;
}
