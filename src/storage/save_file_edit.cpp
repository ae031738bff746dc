#include "storage/save_file_edit.h"

#include "storage/data_path.h"
#include "storage/saved_decks.h"

namespace deckhand {

std::optional<SaveFileEdit> SaveFileEdit::Read() {
  SaveFileEdit edit;
  edit.path_ = MakeDataPath(kSaveFileName);
  FileContent content = ActiveFileOps().ReadWhole(edit.path_);
  if (content.outcome == ReadOutcome::kUnreadable) return std::nullopt;
  edit.content_ = std::move(content.bytes);
  return edit;
}

std::optional<std::string> SaveFileEdit::Value(std::string_view section,
                                               std::string_view key) const {
  return FindIniValue(content_, section, key);
}

std::vector<IniEntry> SaveFileEdit::EntriesStartingWith(std::string_view section,
                                                        std::string_view key_prefix) const {
  return CollectIniEntries(content_, section, key_prefix);
}

bool SaveFileEdit::Replace(const std::vector<IniValueChange>& changes) const {
  if (changes.empty()) return true;
  std::optional<std::string> changed = WithIniValues(content_, changes);
  if (!changed) return false;
  // The caller holds the lock every save holds, so a temporary file found now is one that a
  // killed save left.
  ActiveFileOps().RemoveStaleTemporaries(path_);
  return ReplaceFileAtomically(path_, *changed);
}

}  // namespace deckhand
