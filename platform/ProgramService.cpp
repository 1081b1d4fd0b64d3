#include "platform/ProgramService.h"

#include <QFileInfo>

void ProgramService::handleEdit(const QString &storePath, const StoreEdit &edit, const EditReply &reply) const
{
    const auto sameFile = [](const QString &a, const QString &b) {
        return QFileInfo(a).canonicalFilePath() == QFileInfo(b).canonicalFilePath() && QFileInfo::exists(a);
    };
    if (!m_editHandler) {
        reply({1, QString(), {tr("the running program does not take edits yet; try again in a moment")}});
        return;
    }
    if (storePath != m_storePath && !sameFile(storePath, m_storePath)) {
        reply({1, QString(), {tr("the RSS Brevlin on the session bus runs on another store (%1)").arg(m_storePath)}});
        return;
    }
    m_editHandler(edit, reply);
}
