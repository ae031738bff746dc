// The least any implementation must do for a command: read the save file whole, and for a
// saving command also replace it atomically (temporary file beside it, flush, rename over it,
// flush the directory so the rename lasts), in plain C++ with no INI handling at all.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace deckhand::bench {

// A file's bytes in a plain buffer: unlike a std::string of the size, it is not zero-filled
// before the read fills it, so it costs no more than the read itself.
struct FileBytes {
  std::unique_ptr<char[]> data;
  std::size_t size = 0;
  std::string_view View() const { return std::string_view(data.get(), size); }
};

// The whole file's bytes.
FileBytes ReadFileFloor(const std::string& path);

// Replaces the file at `path` with `bytes` durably and in one step.
void ReplaceFileFloor(const std::string& path, std::string_view bytes);

}  // namespace deckhand::bench
