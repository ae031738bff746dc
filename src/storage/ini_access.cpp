#include "storage/ini_access.h"

#include <algorithm>

#include "storage/file_ops.h"
#include "storage/ini_format.h"
#include "text/shift_jis.h"

namespace deckhand {
namespace {

// The file's bytes for reading; a file that cannot be read reads as an empty one.
FileBytes ContentForReading(const std::string& path) {
  FileContent content = ActiveFileOps().ReadWhole(path);
  if (content.outcome != ReadOutcome::kRead) return FileBytes();
  return std::move(content.bytes);
}

}  // namespace

std::string ReadIniText(const std::string& path, std::string_view section, std::string_view key) {
  return FindIniValue(ContentForReading(path), section, key).value_or(std::string());
}

std::int32_t ReadIniNumber(const std::string& path, std::string_view section,
                           std::string_view key) {
  return ParseIniNumber(ReadIniText(path, section, key));
}

bool WriteIniText(const std::string& path, std::string_view section, std::string_view key,
                  std::string_view value) {
  FileContent existing = ActiveFileOps().ReadWhole(path);
  // Replacing a file we could not read would lose every other entry in it.
  if (existing.outcome == ReadOutcome::kUnreadable) return false;
  std::optional<IniEdit> edit = PlanIniValue(existing.bytes, section, key, value);
  if (!edit) return false;
  return ReplaceFileAtomically(path, {edit->before, edit->inserted, edit->after});
}

IniSection IniSection::Read(const std::string& path, std::string_view section) {
  IniSection result;
  result.content_ = ContentForReading(path);
  std::string_view content = result.content_;
  // Every key line holds '=', so the map never needs more room than this: one allocation of its
  // buckets, and no rehashing of a deck file's 100,000 entries as it grows.
  result.values_.reserve(static_cast<std::size_t>(std::count(content.begin(), content.end(), '=')));
  IniLineScanner scanner(content);
  IniLine line;
  bool inside = false;
  while (scanner.Next(line)) {
    if (line.kind == IniLineKind::kSection) {
      if (inside) break;  // only the first section of the name is ever read
      inside = NamesMatch(line.name, section);
    } else if (inside && line.kind == IniLineKind::kKey) {
      result.values_.try_emplace(FoldNameCase(EffectiveIniKey(line.name)),
                                 UnquoteIniValue(line.value));
    }
  }
  return result;
}

std::string IniSection::Text(std::string_view key) const {
  auto found = values_.find(FoldNameCase(key));
  return found == values_.end() ? std::string() : std::string(found->second);
}

std::int32_t IniSection::Number(std::string_view key) const { return ParseIniNumber(Text(key)); }

}  // namespace deckhand
