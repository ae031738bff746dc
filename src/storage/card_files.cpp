// The card files as the library reads and writes them, for hosts (include/deckhand/card_files.h):
// each function hands on to the code the five commands use, so that a host's judgement of a file
// can never drift from a deal's.
#include "deckhand/card_files.h"

#include "storage/card_sets.h"
#include "storage/data_path.h"
#include "storage/file_ops.h"
#include "storage/ini_format.h"
#include "text/shift_jis.h"
#include "text/text_lists.h"

namespace deckhand::card_files {

static_assert(static_cast<int>(LineKind::kEmpty) == static_cast<int>(IniLineKind::kEmpty) &&
              static_cast<int>(LineKind::kComment) == static_cast<int>(IniLineKind::kComment) &&
              static_cast<int>(LineKind::kSection) == static_cast<int>(IniLineKind::kSection) &&
              static_cast<int>(LineKind::kKey) == static_cast<int>(IniLineKind::kKey) &&
              static_cast<int>(LineKind::kOther) == static_cast<int>(IniLineKind::kOther));

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

struct LineReader::Scanner {
  explicit Scanner(std::string_view content) : scanner(content) {}
  IniLineScanner scanner;
};

LineReader::LineReader(std::string_view content) : scanner_(std::make_unique<Scanner>(content)) {}

LineReader::~LineReader() = default;

bool LineReader::Next(Line& line) {
  IniLine read;
  if (!scanner_->scanner.Next(read)) return false;
  line = {static_cast<LineKind>(read.kind), read.name, read.value, read.begin, read.end};
  return true;
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
