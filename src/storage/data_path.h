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

// The directory that the library's own file accesses start from, per platform: on POSIX the
// current directory itself ("."), which names the directory the process stands in whatever
// becomes of that directory's path meanwhile (another user who may rename a parent could swap
// the path for a link between two commands, or between two steps of one); on Windows the
// current directory's path, as MakeDataPath has it, which long directories need.
std::optional<std::string> AccessDirectory();

// The path by which the library opens the data file `name`: MakeDataPath's rule, from
// AccessDirectory. MakeDataPath's own form is the one to show a user.
std::string MakeAccessPath(std::string_view name);

}  // namespace deckhand
