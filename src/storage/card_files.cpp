// The card files as the library reads and writes them, for hosts (include/deckhand/card_files.h):
// each function hands on to the code the five commands use, so that a host's judgement of a file
// can never drift from a deal's.
#include "deckhand/card_files.h"

#include "storage/card_sets.h"
#include "storage/data_path.h"
#include "storage/file_ops.h"
#include "storage/ini_format.h"
#include "storage/ini_walk.h"
#include "text/shift_jis.h"
#include "text/text_lists.h"

namespace deckhand::card_files {

bool IsShiftJisLeadByte(unsigned char byte) { return deckhand::IsShiftJisLeadByte(byte); }

std::size_t ShiftJisCharLength(std::string_view text, std::size_t at) {
  return deckhand::ShiftJisCharLength(text, at);
}

std::string FoldNameCase(std::string_view name) { return deckhand::FoldNameCase(name); }

bool NamesMatch(std::string_view a, std::string_view b) { return deckhand::NamesMatch(a, b); }

std::string DataPath(std::string_view name) { return MakeDataPath(name); }

std::string ModeName(std::string_view command_text) { return deckhand::ModeName(command_text); }

std::string LookUpDeckFile(std::string_view mode_table, std::string_view mode) {
  return deckhand::LookUpDeckFile(mode_table, mode);
}

CardSet ReadCardSet(std::string_view deck_file) { return deckhand::ReadCardSet(deck_file); }

std::size_t SavedCardCount(const std::vector<std::string>& cards) {
  std::string saved = JoinCards(cards);
  return saved.empty() ? 0 : SplitText(saved, ",", 0).size();
}

void WalkSection(std::string_view content, std::string_view section,
                 const std::function<void(const SectionLine&)>& visit) {
  IniWalker walker({IniSectionRead(std::string(section), nullptr)}, {});
  SectionLine at;
  WalkIni(content, walker, [&](const IniLine& line, const IniStep& step) {
    at.line = {line.kind, line.name, line.value, line.begin, line.end};
    at.in_section = step.slot == 0;
    at.opens_section = step.opens_section;
    at.repeats_section = step.repeats_section;
    at.first_of_key = step.first_of_key;
    at.first_begin = step.first_begin == IniStep::kNone ? std::string_view::npos : step.first_begin;
    at.key.assign(step.key);
    visit(at);
    return true;
  });
}

std::string_view UnquoteValue(std::string_view written) { return UnquoteIniValue(written); }

std::int32_t ReadNumber(std::string_view value) { return ParseIniNumber(value); }

std::string EntryKey(std::string_view written_key) { return EffectiveIniKey(written_key); }

std::optional<std::string> EntryLine(std::string_view key, std::string_view value) {
  // The line the writer adds under a section's header, which is all there is of the file.
  constexpr std::string_view kHeader = "[S]\r\n";
  std::optional<IniEdit> edit = PlanIniValue(kHeader, "S", key, value);
  if (!edit) return std::nullopt;
  return edit->head + std::string(edit->value) + edit->tail;
}

bool ReplaceFile(const std::string& path, std::string_view bytes) {
  return ReplaceFileAtomically(path, bytes);
}

}  // namespace deckhand::card_files
