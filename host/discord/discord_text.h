// How Discord counts and names things: its ids are decimal numbers (snowflakes), and it bounds
// texts (messages, descriptions, choices) in characters, the code points of their UTF-8.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace deckhand::discord {

// A snowflake: at most 20 decimal digits.
inline bool IsDiscordId(std::string_view text) {
  return !text.empty() && text.size() <= 20 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

inline bool StartsCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

inline std::size_t Characters(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), StartsCharacter));
}

// The bytes of the first `limit` characters of `text`: all of it when it is no longer.
inline std::size_t CharactersEnd(std::string_view text, std::size_t limit) {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (StartsCharacter(text[at]) && characters++ == limit) return at;
  }
  return text.size();
}

}  // namespace deckhand::discord
