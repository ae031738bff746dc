// The construction of deckhand's checkable shuffles, "deckhand-shuffle-v1" (docs/shuffles.md),
// for programs that check a game's transcript. The functions throw nothing but std::bad_alloc.
#ifndef DECKHAND_SHUFFLES_H
#define DECKHAND_SHUFFLES_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deckhand/table.h"

namespace deckhand::shuffles {

// The commitment to a seed written in 64 hex digits: SHA-256 of its 32 bytes, in 64 lowercase
// hex digits; "" when `seed_hex` is no seed (or the platform's hashing failed).
std::string Commitment(std::string_view seed_hex);

// The pile that shuffle `number` of `deck` at `place` makes of `input` (top first) under the seed
// and the players' (name, text) seeds: the cards in their new order, each turned by its word when
// `reversible` and upright otherwise. nullopt when `seed_hex` is no seed or hashing failed.
std::optional<table::Cards> Recompute(
    std::string_view seed_hex, std::string_view place, std::string_view deck, std::uint64_t number,
    const std::vector<std::pair<std::string, std::string>>& player_seeds,
    const std::vector<std::string>& input, bool reversible);

}  // namespace deckhand::shuffles

#endif  // DECKHAND_SHUFFLES_H
