#include "platform/Credentials.h"

#include <QAuthenticator>

bool Credentials::answer(QAuthenticator *authenticator) const
{
    if (!isComplete() || login->isEmpty()) {
        return false;
    }
    authenticator->setUser(*login);
    authenticator->setPassword(*password);
    return true;
}
