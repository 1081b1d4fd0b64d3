#include "platform/PasswordStore.h"

void PasswordJob::finish(Outcome outcome, const QString &password, const QString &errorString)
{
    Q_EMIT finished(outcome, password, errorString);
    deleteLater();
}
