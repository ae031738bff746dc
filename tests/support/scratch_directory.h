// A fresh, empty directory that becomes the current directory for one test, with helpers to
// write data files into it and read them back as bytes.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace deckhand::testing {

class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `bytes` to `name` (relative to the scratch directory), exactly as given.
  void Write(const std::string& name, std::string_view bytes) const;
  // The file's bytes, or nullopt when it does not exist.
  std::optional<std::string> Read(const std::string& name) const;
  // Names of the entries in the directory, sorted, leaving out the save file's lock file
  // ("decksave.ini.lock"): every command that saves creates it beside the save file and never
  // removes it, so it tells nothing about stray temporary files or saves that should not be.
  std::string ListNames() const;

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace deckhand::testing
