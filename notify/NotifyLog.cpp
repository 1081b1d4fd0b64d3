#include "notify/NotifyLog.h"

// Debug lines are off unless QT_LOGGING_RULES turns them on.
Q_LOGGING_CATEGORY(lcNotify, "brevlin.notify", QtInfoMsg)
