#include "controller/SavePolicy.h"

#include <QAbstractItemModel>
#include <QTimer>

#include <chrono>

#include "controller/FeedCheckRound.h"
#include "model/FeedPasswords.h"
#include "model/RSSFeed.h"

namespace {

constexpr std::chrono::milliseconds editsSettle(1000);

} // namespace

SavePolicy::SavePolicy(QObject *parent)
    : QObject(parent)
    , m_editsSettled(new QTimer(this))
{
    m_editsSettled->setSingleShot(true);
    m_editsSettled->setInterval(editsSettle);
    connect(m_editsSettled, &QTimer::timeout, this, &SavePolicy::saveDue);
    connect(FeedPasswords::instance(), &FeedPasswords::storePasswordMoved, this, &SavePolicy::saveDue);
}

void SavePolicy::followRound(FeedCheckRound *round)
{
    connect(round, &FeedCheckRound::feedChecked, this, &SavePolicy::saveDue);
}

void SavePolicy::followEdits(QAbstractItemModel *model)
{
    const auto saveSoon = [this] { m_editsSettled->start(); };
    connect(model, &QAbstractItemModel::dataChanged, m_editsSettled, saveSoon);
    connect(model, &QAbstractItemModel::rowsInserted, m_editsSettled, saveSoon);
    connect(model, &QAbstractItemModel::rowsRemoved, m_editsSettled, saveSoon);
    connect(model, &QAbstractItemModel::modelReset, m_editsSettled, saveSoon);
}
