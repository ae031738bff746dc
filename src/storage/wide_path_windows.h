// Paths for the platform's wide-character file functions. The library holds paths as bytes in
// the host's ANSI code page, as the current directory and the command line give them; the ANSI
// file functions stop at 259 characters, the wide ones with the "\\?\" prefix do not.
#pragma once

#include <optional>
#include <string>

namespace deckhand {

// `path` as the wide functions take it: converted from the ANSI code page as the ANSI functions
// convert it, and, when longer than the classic limit, made absolute and given the "\\?\"
// prefix. Shorter paths are passed as they are, so relative names and device names behave as
// they do for the ANSI functions.
std::wstring WidePath(const std::string& path);

// A wide text (a directory the platform reports) in the ANSI code page; nullopt when it holds a
// character that code page cannot show, since a path with a stand-in character names nothing.
std::optional<std::string> AnsiText(const std::wstring& text);

}  // namespace deckhand
