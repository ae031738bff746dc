#include "storage/card_sets.h"

#include "storage/data_path.h"
#include "storage/ini_access.h"

namespace deckhand {

std::string ModeName(std::string_view command_text) { return SplitText(command_text, ",", 2)[1]; }

std::string LookUpDeckFile(std::string_view mode_table, std::string_view mode) {
  return FindDeckFile(mode_table, mode).deck_file;
}

ModeLookup FindDeckFile(std::string_view mode_table, std::string_view mode) {
  IniValueRead read = ReadIniValue(MakeAccessPath(mode_table), kModeSection, mode, Links::kFollow);
  ModeLookup found;
  found.table_read = read.outcome == ReadOutcome::kRead;
  found.deck_file = read.value.value_or(std::string());
  return found;
}

CardSet ReadCardSet(std::string_view deck_file) {
  CardSet set;
  IniSection entries = IniSection::Read(MakeAccessPath(deck_file), kCardSetSection, kMaxCardSetSize,
                                        {kCardCountKey, kReversibleKey});
  if (entries.file_outcome() != ReadOutcome::kRead) return set;
  std::int32_t count = entries.Number(kCardCountKey);
  if (count > kMaxCardSetSize) {
    set.outcome = CardSetOutcome::kTooLarge;
    return set;
  }
  set.outcome = CardSetOutcome::kRead;
  set.reversible = entries.Number(kReversibleKey) == 1;
  if (count > 0) set.cards.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 1; i <= count; ++i) set.cards.push_back(entries.Text(FormatDecimal(i)));
  return set;
}

}  // namespace deckhand
