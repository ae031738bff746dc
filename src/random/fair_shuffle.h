// Shuffles that players can check afterwards: "deckhand-shuffle-v1".
//
// Each shuffle k of a deck takes a 32-byte seed Sk from the system's generator, whose commitment
// SHA-256(Sk) the players saw before the shuffle, and the seeds players added since. From them:
//
//   Kk = HMAC-SHA256(Sk, "deckhand-shuffle-v1" 0 place 0 deck 0 k 0 {name 0 text 0}...)
//   Bj = HMAC-SHA256(Kk, j as 8 bytes big-endian), j = 0, 1, ..., read as 32-bit big-endian words
//
// and with those words a Fisher-Yates shuffle from the bottom (i = n-1 down to 1, m = i+1, words
// at or above 2^32 - (2^32 mod m) drawn again, card i swapped with card word mod m), then, in a
// reversible deck, one word per card from the top, the card reversed when the word is odd.
// Everything is fixed to the byte, so that anyone can recompute a shuffle once Sk is revealed:
// docs/shuffles.md describes it for them, with a worked example the tests check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "random/hashing.h"

namespace deckhand {

inline constexpr std::string_view kFairShuffleName = "deckhand-shuffle-v1";

using Seed = Digest;

// The seeds players added to a shuffle, in the order they came: each player's name and text, as
// the save file keeps them.
using PlayerSeeds = std::vector<std::pair<std::string, std::string>>;

// A fresh seed from the active random fill (random.h); nullopt when the system's generator failed.
std::optional<Seed> NewSeed();

// Bytes as lowercase hex digits, and back (nullopt for anything but 64 hex digits).
std::string HexOf(Bytes bytes);
std::optional<Seed> SeedOfHex(std::string_view hex);

// The commitment to a seed, SHA-256(seed) in 64 lowercase hex digits; "" when hashing failed.
std::string CommitmentOf(const Seed& seed);

// The key Kk of shuffle `number` of `deck` at `place`.
std::optional<Digest> ShuffleKey(const Seed& seed, std::string_view place, std::string_view deck,
                                 std::uint64_t number, const PlayerSeeds& players);

// The words of a shuffle key's stream, in order. Once hashing fails, every later word fails.
class ShuffleStream {
 public:
  explicit ShuffleStream(const Digest& key) : key_(key) {}

  std::optional<std::uint32_t> Next();

 private:
  Digest key_;
  Digest block_{};
  std::uint64_t next_block_ = 0;
  std::size_t used_ = block_.size();
  bool failed_ = false;
};

// The next word below the largest multiple of `bound` (bound >= 1) that 2^32 holds, so that
// word mod bound is uniform; nullopt when the words ran out.
template <typename Words>
std::optional<std::uint32_t> WordBelowMultipleOf(std::uint32_t bound, Words& words) {
  const std::uint64_t limit = (std::uint64_t{1} << 32) - ((0u - bound) % bound);
  for (;;) {
    std::optional<std::uint32_t> word = words.Next();
    if (!word || *word < limit) return word;
  }
}

// The permutation of the construction over `cards` (top first), in place. False when the words
// ran out; the cards are then in some order that must not be used.
template <typename List, typename Words>
bool PermuteFromTheBottom(List& cards, Words& words) {
  for (std::size_t i = cards.size(); i-- > 1;) {
    // No list comes near 2^32 cards (a deck file holds at most 100,000).
    const auto bound = static_cast<std::uint32_t>(i + 1);
    std::optional<std::uint32_t> word = WordBelowMultipleOf(bound, words);
    if (!word) return false;
    std::swap(cards[i], cards[*word % bound]);
  }
  return true;
}

// The orientation of the construction: one word per card from the top, reversed when odd.
template <typename List, typename Words>
bool TurnByWords(List& cards, Words& words) {
  for (auto& card : cards) {
    std::optional<std::uint32_t> word = words.Next();
    if (!word) return false;
    card.reversed = (*word & 1u) != 0;
  }
  return true;
}

}  // namespace deckhand
