#pragma once

#include "app/CommandResult.h"

class QString;
class QTextStream;

// --discover: the feeds a website offers, one line each (address, title, format), found the
// way the subscription window finds them. Needs no store.
namespace DiscoverCommand {

CommandResult run(const QString &address, QTextStream &out);

} // namespace DiscoverCommand
