#include "storage/save_file_edit.h"

#include <algorithm>
#include <array>

#include "storage/data_path.h"
#include "storage/saved_decks.h"

namespace deckhand {
namespace {

// The most pieces a replace is handed one by one (empty ones are skipped by the writer).
constexpr std::size_t kMostPieces = 16;

}  // namespace

std::optional<SaveFileEdit> SaveFileEdit::Read() {
  SaveFileEdit edit;
  edit.path_ = MakeAccessPath(kSaveFileName);
  // The save file is the library's own: never read or written through a link.
  FileContent content = ActiveFileOps().ReadWhole(edit.path_, Links::kRefuse);
  if (content.outcome == ReadOutcome::kUnreadable) return std::nullopt;
  edit.content_ = std::move(content.bytes);
  return edit;
}

IniLookup SaveFileEdit::LookUp(std::string_view value_section, std::string_view key,
                               std::string_view entries_section,
                               std::string_view key_prefix) const {
  return LookUpIniEntries(content_, value_section, key, entries_section, key_prefix);
}

bool SaveFileEdit::Replace(const std::vector<IniValueChange>& changes) const {
  if (changes.empty()) return true;
  std::optional<IniPieces> plan = PlanIniValues(content_, changes);
  if (!plan) return false;
  // The caller holds the lock every save holds, so a temporary file found now is one that a
  // killed save left.
  ActiveFileOps().RemoveStaleTemporaries(path_);
  // A command changes a few entries, so its pieces are written as they are; only a change of
  // many (a deal to many players) is joined first.
  const std::vector<std::string_view>& p = plan->pieces;
  if (p.size() > kMostPieces) return ReplaceFileAtomically(path_, plan->Joined());
  std::array<std::string_view, kMostPieces> a{};
  std::copy(p.begin(), p.end(), a.begin());
  return ReplaceFileAtomically(path_, {a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9],
                                       a[10], a[11], a[12], a[13], a[14], a[15]});
}

}  // namespace deckhand
