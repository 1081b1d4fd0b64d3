#pragma once

#include <QLoggingCategory>

// Diagnostics of the notification bridge and the idle-time query; the messages users read keep their own formats.
Q_DECLARE_LOGGING_CATEGORY(lcNotify)
