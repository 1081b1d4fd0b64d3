#pragma once

#include <QLoggingCategory>

// Diagnostics of the platform stand-ins; the messages users read keep their own formats.
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
