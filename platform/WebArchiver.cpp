#include "platform/WebArchiver.h"

#include <QPointer>

namespace {
// Guarded: the archiver belongs to the program's run, the entries that ask for it may outlive it.
QPointer<WebArchiver> installed;
} // namespace

WebArchiver *WebArchiver::shared()
{
    return installed;
}

void WebArchiver::setShared(WebArchiver *archiver)
{
    installed = archiver;
}
