// Fuzzes the five exports on arbitrary command lines over a small fixed data directory.
// Input: the first byte picks the command; the bytes after it up to the first NUL are the
// command line; bytes after that NUL, when present, are the save file for this run (else a
// fixed one). Properties: no crash and no hang; the command line is left as it was; the
// reply buffer is written only within its 4,096 bytes, and a reply is one NUL-terminated line
// starting "NOTICE "; Count and Check leave the save file byte for byte, and the commands that
// save change no entry but their target's.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_frame.h"
#include "deckhand/deckhand.h"
#include "storage/ini_format.h"
#include "text/shift_jis.h"

namespace {

constexpr std::array<DeckhandCommand, 5> kCommands = {Deck, Draw, Count, Check, Shuffle};
constexpr std::size_t kGuardBytes = 64;
constexpr char kUntouched = '\x7F';

const std::string kSaveFile =
    "[DECK]\r\n#t=A,B,C,D,E\r\n#e=\r\n~ [Tom] ~=\x83\x4A\x81\x5B\x83\x68,,X\r\n";

// The card sets a Deck can deal: an ordinary one, one with a missing entry, one whose Max is
// negative, and Shift_JIS names.
const std::array<std::pair<const char*, const char*>, 5> kDataFiles = {{
    {"modes.ini",
     "[MODE]\r\nsmall=small.ini\r\ngap=gap.ini\r\nnone=negative.ini\r\n"
     "\x83\x4A\x81\x5B\x83\x68=kana.ini\r\nmissing=absent.ini\r\n"},
    {"small.ini", "[DECK]\r\nMax=5\r\n1=A\r\n2=B\r\n3=C\r\n4=D\r\n5=E\r\n"},
    {"gap.ini", "[DECK]\r\nMax=3\r\n1=A\r\n3=C\r\n"},
    {"negative.ini", "[DECK]\r\nMax=-5\r\n1=A\r\n"},
    {"kana.ini", "[DECK]\r\nMax=2\r\n1=\x83\x4A\x81\x5B\x83\x68\r\n2=\x83\x5C\r\n"},
}};

std::filesystem::path data_directory;

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

void CheckReply(const std::vector<char>& buffer) {
  for (std::size_t at = DECKHAND_REPLY_SIZE; at < buffer.size(); ++at) {
    if (buffer[at] != kUntouched) Fail("wrote past the reply buffer");
  }
  bool untouched = true;
  for (std::size_t at = 0; at < DECKHAND_REPLY_SIZE; ++at) untouched &= buffer[at] == kUntouched;
  if (untouched) return;
  const void* nul = std::memchr(buffer.data(), '\0', DECKHAND_REPLY_SIZE);
  if (nul == nullptr) Fail("reply without a NUL");
  if (std::string_view(buffer.data()).substr(0, 7) != "NOTICE ") Fail("reply not a NOTICE");
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every entry of `before` other than the target's own reads the same in `after`.
void CheckOtherEntries(std::string_view before, std::string_view after,
                       std::optional<std::string_view> target) {
  deckhand::IniLineScanner scanner(before);
  deckhand::IniLine line;
  std::string section;
  while (scanner.Next(line)) {
    if (line.kind == deckhand::IniLineKind::kSection) section = std::string(line.name);
    if (line.kind != deckhand::IniLineKind::kKey) continue;
    std::string key = deckhand::EffectiveIniKey(line.name);
    if (target && deckhand::NamesMatch(section, "DECK") && deckhand::NamesMatch(key, *target)) {
      continue;
    }
    if (deckhand::FindIniValue(before, section, key) !=
        deckhand::FindIniValue(after, section, key)) {
      Fail("a command changed another target's entry");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // A memory-backed directory keeps the saves (each flushed to disk) cheap where there is one.
  std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                   ? std::filesystem::path("/dev/shm")
                                   : std::filesystem::temp_directory_path();
  data_directory = base / ("deckhand-fuzz-" + std::to_string(::getpid()));
  std::filesystem::create_directories(data_directory);
  for (const auto& [name, bytes] : kDataFiles) WriteFile(data_directory / name, bytes);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(data_directory, ignored);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  DeckhandCommand command = kCommands[data[0] % kCommands.size()];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::size_t nul = rest.find('\0');
  std::string line(rest.substr(0, nul));
  std::string_view save_file = nul == std::string_view::npos ? kSaveFile : rest.substr(nul + 1);

  // The library resolves its files against the current directory; the fuzzer's own paths
  // (corpus, artifacts) must not move, so the directory is entered only around the call.
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(data_directory);
  WriteFile("decksave.ini", save_file);

  std::vector<char> writable_line(line.begin(), line.end());
  writable_line.push_back('\0');
  std::vector<char> reply(DECKHAND_REPLY_SIZE + kGuardBytes, kUntouched);
  command(writable_line.data(), reply.data());

  std::string saved = ReadFile("decksave.ini");
  std::filesystem::current_path(previous);
  if (std::string_view(writable_line.data(), line.size()) != line) Fail("the line was changed");
  CheckReply(reply);
  if (command == Count || command == Check) {
    if (saved != save_file) Fail("a reading command changed the save file");
  } else {
    CheckOtherEntries(save_file, saved, deckhand::CutCommandFields(line.c_str()).target);
  }
  return 0;
}
