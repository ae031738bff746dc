// The generator behind every shuffle, and the shuffle itself.
//
// The generator has the classic rand/srand contract: each draw is a number from 0 to 32767, and
// the sequence depends only on a 32-bit seed. It is our own, so the same seed gives the same
// sequence on every platform and with every compiler, and its state lives in the object that
// the caller holds, not in a global: two commands never share a sequence.
#pragma once

#include <cstdint>
#include <utility>

#include "text/text_lists.h"

namespace deckhand {

// The largest number one draw gives (15 bits).
inline constexpr std::uint32_t kRandomMax = 0x7FFF;

// A linear congruential generator: state = state * 214013 + 2531011, and each draw is bits 16
// to 30 of the new state.
class RandomGenerator {
 public:
  explicit RandomGenerator(std::uint32_t seed) : state_(seed) {}

  // The next number, 0 to kRandomMax.
  std::uint32_t Next() {
    state_ = state_ * 214013u + 2531011u;
    return (state_ >> 16) & kRandomMax;
  }

 private:
  std::uint32_t state_;
};

// The platform's count of milliseconds since it started, wrapped to 32 bits. Per platform.
std::uint32_t MillisecondTick();

// A generator seeded from the millisecond tick. Commands that shuffle call this first, so two
// calls within the same millisecond shuffle the same list the same way.
RandomGenerator SeedRandom();

// Permutes `cards` in place with numbers from `generator` (anything with a Next() giving 0 to
// kRandomMax). For k = 1 .. n-1, card k swaps with a card j in 0 .. k, where j is a draw
// modulo k + 1. One draw covers up to 32768 choices; a step with more choices than that widens
// its draw with further 15-bit draws until it covers them. So a list of up to 32767 cards uses
// exactly n - 1 draws, and a list of one card uses none. Callers skip empty lists.
template <typename Generator>
void ShuffleCards(CardList& cards, Generator& generator) {
  for (std::size_t k = 1; k < cards.size(); ++k) {
    // The arithmetic is unsigned 32-bit by design; no list comes near 2^32 cards.
    const std::uint32_t choices = static_cast<std::uint32_t>(k + 1);
    std::uint32_t draw = static_cast<std::uint32_t>(generator.Next()) & kRandomMax;
    std::uint32_t draw_max = kRandomMax;
    while (draw_max < choices && draw_max != 0xFFFFFFFFu) {
      draw = (draw << 15) | (static_cast<std::uint32_t>(generator.Next()) & kRandomMax);
      draw_max = (draw_max << 15) | kRandomMax;
    }
    std::swap(cards[k], cards[draw % choices]);
  }
}

}  // namespace deckhand
