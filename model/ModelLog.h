#pragma once

#include <QLoggingCategory>

// Diagnostics of the records and their operations; the messages users read keep their own formats.
Q_DECLARE_LOGGING_CATEGORY(lcModel)
