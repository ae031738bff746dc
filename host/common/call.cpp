#include "host/common/call.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace deckhand::host {
namespace {

// The buffer is filled with this byte before the call, so that "no reply" means exactly that
// the buffer is as the host left it, and a reply that relies on zeroed memory shows up.
constexpr char kUnwritten = '\x7F';
// Bytes kept past the buffer's end to catch a library that writes beyond it.
constexpr std::size_t kGuardBytes = 64;

}  // namespace

CallResult CallCommand(DeckhandCommand command, const std::string& line) {
  std::vector<char> writable_line(line.begin(), line.end());
  writable_line.push_back('\0');
  std::vector<char> buffer(DECKHAND_REPLY_SIZE + kGuardBytes, kUnwritten);

  command(writable_line.data(), buffer.data());

  auto reply_end = buffer.begin() + DECKHAND_REPLY_SIZE;
  CallResult result;
  if (!std::all_of(reply_end, buffer.end(), [](char c) { return c == kUnwritten; })) {
    result.fault = "the library wrote past the end of the reply buffer";
  }
  if (std::all_of(buffer.begin(), reply_end, [](char c) { return c == kUnwritten; })) {
    return result;
  }
  auto nul = std::find(buffer.begin(), reply_end, '\0');
  if (nul == reply_end) {
    if (result.fault.empty()) result.fault = "the library left its reply without an end (no NUL)";
    return result;
  }
  result.reply.emplace(buffer.begin(), nul);
  return result;
}

}  // namespace deckhand::host
