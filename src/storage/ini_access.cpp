#include "storage/ini_access.h"

#include <algorithm>

#include "storage/file_ops.h"
#include "storage/ini_format.h"
#include "storage/ini_walk.h"
#include "text/shift_jis.h"

namespace deckhand {
std::string ReadIniText(const std::string& path, std::string_view section, std::string_view key) {
  return ReadIniValue(path, section, key, Links::kFollow).value.value_or(std::string());
}

IniValueRead ReadIniValue(const std::string& path, std::string_view section, std::string_view key,
                          Links links) {
  IniValueRead read;
  IniValueFinder finder(section, key);
  read.outcome = ActiveFileOps().ReadInPieces(
      path, links, [&finder](std::string_view piece) { return finder.Feed(piece); });
  if (read.outcome == ReadOutcome::kRead) read.value = finder.Finish();
  return read;
}

std::int32_t ReadIniNumber(const std::string& path, std::string_view section,
                           std::string_view key) {
  return ParseIniNumber(ReadIniText(path, section, key));
}

bool WriteIniText(const std::string& path, std::string_view section, std::string_view key,
                  std::string_view value) {
  // Only the library's own files are written, and never through a link: the link would be
  // replaced by a file of the linked file's text.
  FileContent existing = ActiveFileOps().ReadWhole(path, Links::kRefuse);
  // Replacing a file we could not read would lose every other entry in it.
  if (existing.outcome == ReadOutcome::kUnreadable) return false;
  std::optional<IniEdit> edit = PlanIniValue(existing.bytes, section, key, value);
  if (!edit) return false;
  return ReplaceFileAtomically(path,
                               {edit->before, edit->head, edit->value, edit->tail, edit->after});
}

IniSection IniSection::Read(const std::string& path, std::string_view section,
                            std::size_t most_numbered,
                            std::initializer_list<std::string_view> names) {
  IniSection result;
  FileContent file = ActiveFileOps().ReadWhole(path, Links::kFollow);
  result.file_outcome_ = file.outcome;
  if (file.outcome == ReadOutcome::kRead) result.content_ = std::move(file.bytes);
  std::string_view content = result.content_;
  // Every key line holds '=', so a section has no more entries than this. A numbered key above
  // it cannot belong to a list without gaps; it goes to the map, so that a stray
  // "1000000000=" cannot make the array huge. The map holds at most one entry for each number
  // up to most_numbered and each name asked for, however many lines the file has.
  auto most_entries = std::min(
      most_numbered, static_cast<std::size_t>(std::count(content.begin(), content.end(), '=')));
  std::vector<std::string> kept_names;
  for (std::string_view name : names) kept_names.push_back(FoldNameCase(name));
  // Only the keys asked for are told apart, so that junk lines cost nothing but their bytes.
  auto asked_for = [most_numbered, &names](std::string_view written_key) {
    if (NumberedKey(written_key, most_numbered) || IniKeyMayBeEscaped(written_key)) return true;
    return std::any_of(names.begin(), names.end(), [written_key](std::string_view name) {
      return NamesMatch(written_key, name);
    });
  };
  IniWalker walker({IniSectionRead(std::string(section), asked_for, most_entries)}, {});
  WalkIni(content, walker, [&](const IniLine& line, const IniStep& step) {
    if (walker.Passed()) return false;  // only the first section of the name is ever read
    if (!step.first_of_key) return true;
    std::string_view value = UnquoteIniValue(line.value);
    if (step.number != IniStep::kNone) {
      if (result.numbered_.empty()) result.numbered_.reserve(most_entries + 1);
      if (step.number >= result.numbered_.size()) result.numbered_.resize(step.number + 1);
      result.numbered_[step.number] = value;
    } else if (std::string key = FoldNameCase(step.key);
               NumberedKey(step.key, most_numbered) ||
               std::find(kept_names.begin(), kept_names.end(), key) != kept_names.end()) {
      result.values_.emplace(std::move(key), value);
    }
    return true;
  });
  return result;
}

std::optional<std::size_t> IniSection::NumberedKey(std::string_view key, std::size_t limit) {
  return IniPlainNumber(key, limit);
}

std::string IniSection::Text(std::string_view key) const {
  // A plain number is a key that neither folding nor decoding changes, and every such key of
  // the file up to the array's end is in the array; beyond it, it is in the map or absent.
  if (!numbered_.empty()) {
    if (std::optional<std::size_t> number = NumberedKey(key, numbered_.size() - 1)) {
      return std::string(numbered_[*number]);
    }
  }
  auto found = values_.find(FoldNameCase(key));
  return found == values_.end() ? std::string() : std::string(found->second);
}

std::int32_t IniSection::Number(std::string_view key) const { return ParseIniNumber(Text(key)); }

}  // namespace deckhand
