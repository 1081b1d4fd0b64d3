#pragma once

#include <QLoggingCategory>

// Diagnostics of the object store; the messages users read keep their own formats.
Q_DECLARE_LOGGING_CATEGORY(lcStore)
