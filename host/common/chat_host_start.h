// What every chat host does at start, before it plays: check the card sets it will deal, and give
// the game the wall clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/common/card_check.h"

namespace deckhand::host {

// The card sets of `modes_file` checked as `deckhand --check-cards` checks them, each problem
// logged. Without a readable mode table that names a mode no deal can work: nullopt and `error`,
// and the host does not start.
std::optional<CardSetReport> CheckCardSetsAtStart(const std::string& modes_file,
                                                  std::string* error);

// The modes of `report`, in the mode table's order (Shift_JIS).
std::vector<std::string> ModeNames(const CardSetReport& report);

// Seconds since 1970: the wall clock a host gives the game.
std::int64_t SecondsSince1970();

}  // namespace deckhand::host
