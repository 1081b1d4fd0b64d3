#include "controller/ControllerLog.h"

// Debug lines are off unless QT_LOGGING_RULES turns them on.
Q_LOGGING_CATEGORY(lcController, "brevlin.controller", QtInfoMsg)
