// One line per event on standard error: the time (UTC), the level and what happened.
#pragma once

#include <string_view>

namespace deckhand::host {

enum class LogLevel { kDebug, kInfo, kWarning, kError };

// Debug lines (every line sent and received) are written only when verbose.
void SetVerboseLog(bool verbose);
bool VerboseLog();

// Lines below `level` are not written (debug lines still need verbose). Info by default.
void SetLogLevel(LogLevel level);

void Log(LogLevel level, std::string_view message);

}  // namespace deckhand::host
