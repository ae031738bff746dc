// Where the data files lie: the process's current directory at the moment of each access.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace deckhand {

// The current directory, or nullopt when the platform cannot tell it. Per platform.
std::optional<std::string> CurrentDirectory();

// The platform's directory separator. Per platform.
char PathSeparator();

// The current directory of the moment, the platform's separator, and `name`. Nothing is
// cached, so a host that changes directory moves every data file with it. A backslash in
// `name` that is not the second byte of a Shift_JIS character is a directory separator, so
// mode tables written on Windows ("decks\trump.ini") work everywhere. When the current
// directory cannot be told, `name` is resolved relative to it by the platform.
std::string MakeDataPath(std::string_view name);

}  // namespace deckhand
