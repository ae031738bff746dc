// Fuzzes the INI reader and writer on arbitrary file bytes, names and values. Properties:
//  - reading never crashes, whatever the bytes;
//  - a value that can be written reads back as itself, and one holding CR, LF or NUL is refused;
//  - writing it again changes nothing;
//  - every other entry of the file reads exactly as before.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "storage/ini_format.h"
#include "text/shift_jis.h"

namespace {

using namespace deckhand;

// The library only ever writes these sections; a section header is written as given.
constexpr std::array<std::string_view, 3> kSections = {"DECK", "MODE", "deck"};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

bool Writable(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Every (section, key) that a key line of `content` stands for reads the same in `updated`,
// except the entry that was written.
void CheckOtherEntries(std::string_view content, std::string_view updated,
                       std::string_view written_section, std::string_view written_key) {
  IniLineScanner scanner(content);
  IniLine line;
  std::string section;
  bool in_section = false;
  while (scanner.Next(line)) {
    if (line.kind == IniLineKind::kSection) {
      section = std::string(line.name);
      in_section = true;
      continue;
    }
    if (!in_section || line.kind != IniLineKind::kKey) continue;
    std::string key = EffectiveIniKey(line.name);
    if (NamesMatch(section, written_section) && NamesMatch(key, written_key)) continue;
    if (FindIniValue(content, section, key) != FindIniValue(updated, section, key)) {
      Fail("another entry changed");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::string_view section = kSections[input.ConsumeIntegralInRange<std::size_t>(0, 2)];
  std::string key = input.ConsumeRandomLengthString(64);
  std::string value = input.ConsumeRandomLengthString(256);
  std::string content = input.ConsumeRemainingBytesAsString();

  std::optional<std::string> before = FindIniValue(content, section, key);
  if (before) ParseIniNumber(*before);

  std::optional<std::string> updated = WithIniValue(content, section, key, value);
  if (!Writable(value)) {
    if (updated) Fail("a value with CR, LF or NUL was written");
    return 0;
  }
  if (!updated) Fail("a writable value was refused");
  if (FindIniValue(*updated, section, key) != value) Fail("the value does not read back");
  if (WithIniValue(*updated, section, key, value) != updated) Fail("writing again changed it");
  CheckOtherEntries(content, *updated, section, key);
  return 0;
}
