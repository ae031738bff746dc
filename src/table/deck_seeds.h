// The seeds of a deck's checkable shuffles (random/fair_shuffle.h), as the save file keeps them
// beside the deck's piles, under the key "PLACE,DECK,seeds":
//
//     v1:NEXT:SEED:FIRST:USED:WAITING:GAME
//
// NEXT is the number of the deck's next shuffle and SEED its seed, whose commitment players may
// already have seen; USED holds the seeds of shuffles FIRST to NEXT-1, not yet revealed, joined
// by '.'; WAITING the seeds players added for the next shuffle, each "PLAYER/TEXT" with both in
// hex (a text may hold any byte but NUL), joined by '.'. Seeds are 64 hex digits. GAME names the
// transcript of the game being recorded (transcript.h), empty when none is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deckhand/table.h"
#include "random/fair_shuffle.h"

namespace deckhand::table {

// The most shuffles a game keeps unrevealed seeds for: past it, the oldest seed is let go (and
// that shuffle can no longer be checked), so that no game grows the save file without end.
inline constexpr std::size_t kMaxUnrevealedShuffles = 1000;

struct DeckSeeds {
  std::uint64_t next = 1;
  Seed seed{};
  std::uint64_t first_unrevealed = 1;
  std::vector<Seed> used;  // shuffles first_unrevealed .. next - 1
  PlayerSeeds waiting;
  std::string game;  // the transcript's file name in "games/", or empty
};

// A deck's first seeds: the next shuffle is number 1. nullopt when the system's generator failed.
std::optional<DeckSeeds> NewDeckSeeds();

std::string WriteDeckSeeds(const DeckSeeds& seeds);
// nullopt for a value that is no record (edited by hand), which the deck then does without.
std::optional<DeckSeeds> ReadDeckSeeds(std::string_view written);

// Shuffles `cards` (and turns them, when `reversible`) as shuffle `seeds.next` of the deck, then
// moves on to the next seed. False, with `seeds` as they were, when the system failed.
bool ShuffleWithSeeds(DeckSeeds& seeds, std::string_view place, std::string_view deck, Cards& cards,
                      bool reversible);

// The seeds of every shuffle since the last reveal, (number, seed in hex), which are then
// revealed: the record lets them go.
std::vector<std::pair<std::uint64_t, std::string>> RevealSeeds(DeckSeeds& seeds);

// For tests of how cards move, which must know where each card lies: while one is in force, the
// table shuffles as the five exports shuffle a plug-in host's own target (random.h's ShuffleCards,
// numbers from the active random fill) and gives no deck seeds.
class ScopedUnseededShuffles {
 public:
  ScopedUnseededShuffles();
  ~ScopedUnseededShuffles();
  ScopedUnseededShuffles(const ScopedUnseededShuffles&) = delete;
  ScopedUnseededShuffles& operator=(const ScopedUnseededShuffles&) = delete;

  static bool InForce();

 private:
  bool previous_;
};

// What a reply tells of the seeds: the next shuffle, its commitment, the seeds waiting for it.
void ViewOfSeeds(const DeckSeeds& seeds, SeedsView& view);

}  // namespace deckhand::table
