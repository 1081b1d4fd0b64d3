#include <QtGlobal>

#include "platform/webengine/WebEngineArchiver.h"

// The one entry point of the plugin: the program looks it up by name after loading the plugin.
extern "C" Q_DECL_EXPORT WebArchiver *brevlinCreateWebArchiver(QObject *parent)
{
    return new WebEngineArchiver(parent);
}
