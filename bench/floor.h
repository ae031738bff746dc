// The least any implementation must do for a command: read the save file whole, and for a
// saving command also replace it atomically (temporary file beside it, flush, rename over it,
// flush the directory so the rename lasts), in plain C++ with no INI handling at all.
#pragma once

#include <string>
#include <string_view>

namespace deckhand::bench {

// The whole file's bytes.
std::string ReadFileFloor(const std::string& path);

// Replaces the file at `path` with `bytes` durably and in one step.
void ReplaceFileFloor(const std::string& path, std::string_view bytes);

}  // namespace deckhand::bench
