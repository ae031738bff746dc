// Where a shuffle's numbers come from, and the shuffle itself.
//
// Every shuffle takes its numbers from the operating system's cryptographic generator, fresh for
// each command: no deal can be foreseen from an earlier one or from the time it was dealt, and
// two deals in the same instant are as different as any two. The shuffle takes its numbers
// through a small generator contract, so that tests can script them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

#include "text/text_lists.h"

namespace deckhand {

// Fills `size` bytes at `buffer` with the platform's cryptographic random bytes; false when the
// platform could not give them all. Per platform.
bool FillSystemRandom(void* buffer, std::size_t size);

// A function with FillSystemRandom's contract.
using RandomFill = bool (*)(void* buffer, std::size_t size);

// The fill in force: FillSystemRandom unless a test has put another in place.
RandomFill ActiveRandomFill();

// Puts `fill` in force until the returned object is destroyed. For tests.
class ScopedRandomFill {
 public:
  explicit ScopedRandomFill(RandomFill fill);
  ~ScopedRandomFill();
  ScopedRandomFill(const ScopedRandomFill&) = delete;
  ScopedRandomFill& operator=(const ScopedRandomFill&) = delete;

 private:
  RandomFill previous_;
};

// Uniform 32-bit numbers from the active fill, fetched a block at a time so that a shuffle of a
// large deck does not ask the system once per card. Once a fill fails, every later draw fails.
class SystemRandom {
 public:
  // The next number, or nullopt when the system's generator failed.
  std::optional<std::uint32_t> Next();

 private:
  std::array<std::uint32_t, 64> block_{};
  std::size_t next_ = block_.size();
  bool failed_ = false;
};

// A number from 0 to bound - 1 (bound >= 1), each equally likely, from uniform 32-bit draws:
// the draw times the bound, as a 64-bit product, has the result in its high half; the few draws
// whose low half falls below 2^32 mod bound would favour some results and are drawn again. So
// every result stands for exactly as many draws as every other. nullopt when a draw fails.
template <typename Generator>
std::optional<std::uint32_t> UniformBelow(std::uint32_t bound, Generator& generator) {
  std::optional<std::uint32_t> draw = generator.Next();
  if (!draw) return std::nullopt;
  std::uint64_t product = static_cast<std::uint64_t>(*draw) * bound;
  auto low = static_cast<std::uint32_t>(product);
  if (low < bound) {
    const std::uint32_t biased_below = (0u - bound) % bound;  // 2^32 mod bound
    while (low < biased_below) {
      draw = generator.Next();
      if (!draw) return std::nullopt;
      product = static_cast<std::uint64_t>(*draw) * bound;
      low = static_cast<std::uint32_t>(product);
    }
  }
  return static_cast<std::uint32_t>(product >> 32);
}

// Permutes `cards` in place with numbers from `generator` (anything whose Next() gives a uniform
// 32-bit number, or nullopt when it fails): for k = 1 .. n-1, card k swaps with card j, j drawn
// uniformly from 0 .. k, so every order is equally likely. A list of one card draws nothing.
// False when the generator failed; the cards are then in some order that must not be used.
// Any list of cards will do (the table's cards carry their orientation).
template <typename List, typename Generator>
bool ShuffleCards(List& cards, Generator& generator) {
  for (std::size_t k = 1; k < cards.size(); ++k) {
    // No list comes near 2^32 cards: a deck file holds at most 100,000, a saved line as many as
    // fit in the save file.
    std::optional<std::uint32_t> j = UniformBelow(static_cast<std::uint32_t>(k + 1), generator);
    if (!j) return false;
    std::swap(cards[k], cards[*j]);
  }
  return true;
}

// Fair bits, one per call, taken 32 at a time from a generator's numbers: each bit of a uniform
// 32-bit number is itself a fair coin, independent of the others.
template <typename Generator>
class RandomBits {
 public:
  explicit RandomBits(Generator& generator) : generator_(generator) {}

  // The next bit, or nullopt when the generator failed.
  std::optional<bool> Next() {
    if (left_ == 0) {
      std::optional<std::uint32_t> word = generator_.Next();
      if (!word) return std::nullopt;
      word_ = *word;
      left_ = 32;
    }
    bool bit = (word_ & 1u) != 0;
    word_ >>= 1;
    --left_;
    return bit;
  }

 private:
  Generator& generator_;
  std::uint32_t word_ = 0;
  int left_ = 0;
};

}  // namespace deckhand
