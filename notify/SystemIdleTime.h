#pragma once

#include <QtGlobal>

// The time since the user last touched keyboard or mouse, in units of 2^30 nanoseconds (a
// little more than a second), from the first available source of the idle-time registry; 0
// when it cannot be read. Troubles are reported in the notifications' logging category.
quint64 systemIdleSeconds();
