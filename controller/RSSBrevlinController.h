#pragma once

#include <QVariantMap>

// The program's central object: preferences and their defaults, start-up, the check
// timer and the status menu.
class RSSBrevlinController
{
public:
    // The eleven preferences and their defaults: the interval a real, the three
    // counts integers, the rest booleans.
    static QVariantMap defaultsDictionary();
    // Registers the defaults with the process's preferences; runs once, before the
    // first preference is read.
    static void initialize();
};
