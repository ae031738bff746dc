#include "support/plugin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace deckhand::testing {
namespace {

constexpr std::size_t kGuardBytes = 64;
constexpr char kUntouched = '\x7F';

}  // namespace

std::optional<std::string> CallCommand(DeckhandCommand command, std::string_view line) {
  std::vector<char> writable_line(line.begin(), line.end());
  writable_line.push_back('\0');
  std::vector<char> buffer(DECKHAND_REPLY_SIZE + kGuardBytes, kUntouched);

  command(writable_line.data(), buffer.data());

  for (std::size_t at = DECKHAND_REPLY_SIZE; at < buffer.size(); ++at) {
    if (buffer[at] != kUntouched) {
      ADD_FAILURE() << "the command wrote past the reply buffer at byte " << at;
      break;
    }
  }
  bool untouched = true;
  for (std::size_t at = 0; at < DECKHAND_REPLY_SIZE; ++at) untouched &= buffer[at] == kUntouched;
  if (untouched) return std::nullopt;
  const void* nul = std::memchr(buffer.data(), '\0', DECKHAND_REPLY_SIZE);
  if (nul == nullptr) {
    ADD_FAILURE() << "the reply has no terminating NUL within the buffer";
    return std::string(buffer.data(), DECKHAND_REPLY_SIZE);
  }
  return std::string(buffer.data());
}

}  // namespace deckhand::testing
