#include "app/OpmlImportJob.h"

#include <QTextStream>
#include <QTimer>

#include "app/OpmlCommands.h"
#include "app/StoreAccess.h"
#include "app/StoreEditCommand.h"
#include "store/ObjectContext.h"

namespace {

// Short enough that the menu and the bus stay lively, long enough that slicing costs little.
constexpr qint64 shortestSliceMs = 20;
constexpr qsizetype outlinesPerStep = 100;
// Often enough that the asking command keeps waiting, seldom enough to read.
constexpr qint64 progressEveryMs = 1000;

} // namespace

OpmlImportJob::OpmlImportJob(Rss_Brevlin_AppDelegate *delegate, const StoreEdit &edit, QObject *parent)
    : QObject(parent)
    , m_delegate(delegate)
    , m_edit(edit)
{
}

OpmlImportJob::~OpmlImportJob() = default;

void OpmlImportJob::start()
{
    CommandResult failure;
    std::optional<QList<Subscription>> subscriptions =
        OpmlCommands::subscriptionsOf(m_edit.document, m_edit.argument, &failure);
    m_edit.document.clear();
    if (!subscriptions) {
        finish(failure);
        return;
    }
    m_store = std::make_unique<StoreAccess>(m_delegate);
    const std::optional<QList<RSSFeed *>> feeds = m_store->feeds();
    if (!feeds) {
        finish(m_store->result());
        return;
    }
    m_importer = std::make_unique<OpmlTransfer::Importer>(m_store->context(), *feeds, std::move(*subscriptions));
    m_sinceProgress.start();
    importSlice();
}

void OpmlImportJob::importSlice()
{
    if (m_finished) {
        return;
    }
    // Each slice takes at least as long as the event loop took since the last one: the work the
    // new feeds cause there (a menu rebuild per turn, over ever more feeds) cannot make the
    // import more than about twice as slow as it is alone.
    const qint64 sliceMs = qMax(shortestSliceMs, m_sinceSlice.isValid() ? m_sinceSlice.elapsed() : 0);
    QElapsedTimer slice;
    slice.start();
    subscribeWithoutChecks([this, &slice, sliceMs] {
        while (!m_importer->isDone() && slice.elapsed() < sliceMs) {
            m_importer->subscribeNext(outlinesPerStep);
        }
    });
    if (m_importer->isDone()) {
        QString output;
        QTextStream out(&output);
        const CommandResult result = OpmlCommands::finishImport(*m_store, m_importer->result(), out);
        out.flush();
        finish(result, output);
        return;
    }
    if (m_sinceProgress.elapsed() >= progressEveryMs) {
        m_sinceProgress.restart();
        Q_EMIT progressed(int(m_importer->done()), int(m_importer->total()));
    }
    m_sinceSlice.start();
    QTimer::singleShot(0, this, &OpmlImportJob::importSlice);
}

void OpmlImportJob::finishNow()
{
    if (m_finished || !m_importer) {
        return;
    }
    subscribeWithoutChecks([this] { m_importer->subscribeNext(m_importer->total()); });
    importSlice();
}

void OpmlImportJob::subscribeWithoutChecks(const std::function<void()> &subscribe)
{
    // A feed added to a context that checks feeds starts its first download at once, and the
    // downloads of a list of thousands, all started together, cost more than the import
    // itself: imported feeds are first checked with all the others, at the next round.
    ObjectContext *context = m_store->context();
    const bool checks = context->checksFeeds();
    context->setChecksFeeds(false);
    subscribe();
    context->setChecksFeeds(checks);
}

void OpmlImportJob::finish(const CommandResult &result, const QString &output)
{
    m_finished = true;
    Q_EMIT finished(StoreEditCommand::replyFor(result, output));
}
