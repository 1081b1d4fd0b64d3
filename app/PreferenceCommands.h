#pragma once

#include "app/CommandResult.h"

class QTextStream;

// --get, --set and --prefs: the preferences by their exact keys, each typed as its
// default is (a real number, a 32-bit integer or a boolean) and read the way the
// program reads it.
namespace PreferenceCommands {

CommandResult get(const QString &key, QTextStream &out);
CommandResult set(const QString &key, const QString &value);
CommandResult list(QTextStream &out);

} // namespace PreferenceCommands
