// The room of the library's one reply line: what a command may name in it is bounded by it, so
// the table's draws take no more cards than a reply can name.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace deckhand {

inline constexpr std::size_t kReplyCapacity = 4096;
// Longest reply line: the capacity less the terminating NUL.
inline constexpr std::size_t kMaxReplyLength = kReplyCapacity - 1;
// What heads every reply, before the target.
inline constexpr std::string_view kReplyHead = "NOTICE ";

// How many bytes of text fit after "NOTICE <target> " in a reply; nullopt when not even that
// head fits, in which case a command must neither reply nor change anything.
inline std::optional<std::size_t> ReplyTextRoom(std::string_view target) {
  std::size_t head = kReplyHead.size() + target.size() + 1;
  if (head > kMaxReplyLength) return std::nullopt;
  return kMaxReplyLength - head;
}

}  // namespace deckhand
