// One line per event on standard error: the time (UTC), the level and what happened, always in
// valid UTF-8, so that grep and the journal read it as text.
#pragma once

#include <string_view>

namespace deckhand::host {

enum class LogLevel { kDebug, kInfo, kWarning, kError };

// Debug lines (every line sent and received) are written only when verbose.
void SetVerboseLog(bool verbose);
bool VerboseLog();

// Lines below `level` are not written (debug lines still need verbose). Info by default.
void SetLogLevel(LogLevel level);

// Writes `message` as LogText makes it. Texts from the library (mode and card names, the card-set
// checker's and the table's messages) are given in its Shift_JIS bytes as they are: they are
// converted here, in one place.
void Log(LogLevel level, std::string_view message);

// `message` in valid UTF-8: its UTF-8 characters as they are, any other bytes read as the
// library's Shift_JIS (code page 932) and converted, and every byte that converts to nothing, or
// is a control character that a terminal would act on, as \xNN. A Shift_JIS text is rarely valid
// UTF-8 beyond ASCII (its lead bytes 0x81-0x9F never start a UTF-8 character), so both read
// right, also side by side in one message.
std::string LogText(std::string_view message);

}  // namespace deckhand::host
