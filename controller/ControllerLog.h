#pragma once

#include <QLoggingCategory>

// Diagnostics of the controller and its views; the messages users read keep their own formats.
Q_DECLARE_LOGGING_CATEGORY(lcController)
