#include "store/StoreLog.h"

// Debug lines are off unless QT_LOGGING_RULES turns them on.
Q_LOGGING_CATEGORY(lcStore, "brevlin.store", QtInfoMsg)
