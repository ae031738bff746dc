// The save file read once and changed in several entries at once, for commands that move cards
// between entries (a deck, its discard pile, players' hands): every entry changes in the same
// atomic replace, so no move is ever half done. The caller holds the save file's lock
// (LockSaveFile) from the read to the replace, as SaveDeck's callers do.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/file_ops.h"
#include "storage/ini_format.h"

namespace deckhand {

class SaveFileEdit {
 public:
  // The save file of the current directory as it is now (empty when absent); nullopt when it
  // exists but cannot be read, which must not be taken for an empty file and replaced.
  static std::optional<SaveFileEdit> Read();

  // The value of (value_section, key) and every entry of `entries_section` whose key starts
  // with `key_prefix`, in one pass (LookUpIniEntries).
  IniLookup LookUp(std::string_view value_section, std::string_view key,
                   std::string_view entries_section, std::string_view key_prefix) const;

  // Replaces the file with every change made (WithIniValues). True when the new file reached
  // the disk; false, with the file as it was, otherwise. No change at all writes nothing.
  bool Replace(const std::vector<IniValueChange>& changes) const;

 private:
  std::string path_;
  FileBytes content_;
};

}  // namespace deckhand
