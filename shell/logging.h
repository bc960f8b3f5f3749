#pragma once

#include <string>

namespace quadrel {

// The log folder: $XDG_STATE_HOME/Norvane/logs (~/.local/state/Norvane/logs).
std::string logFolder();

// Installs the rotating log "quadrel.log" (5 MiB, 3 old files kept) as the default logger. When the
// folder cannot be made the program logs to stderr only; the reason is returned.
bool setupLogging(std::string& error);

} // namespace quadrel
