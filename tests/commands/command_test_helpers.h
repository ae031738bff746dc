// What the command tests share: the fixed reply texts as the bytes a host receives, the five
// exports as plain calls, and a reader of the save file that does not use the library.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/plugin.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {

using Cards = std::vector<std::string>;

// "デッキセット:", "シャッフルしました", "デッキにカードがありません",
// "デッキを保存できませんでした" in Shift_JIS.
inline const std::string kDeckSetBytes = "\x83\x66\x83\x62\x83\x4C\x83\x5A\x83\x62\x83\x67\x3A";
inline const std::string kShuffledBytes =
    "\x83\x56\x83\x83\x83\x62\x83\x74\x83\x8B\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
inline const std::string kNoCardsBytes =
    "\x83\x66\x83\x62\x83\x4C\x82\xC9\x83\x4A\x81\x5B\x83\x68\x82\xAA\x82\xA0\x82\xE8\x82\xDC"
    "\x82\xB9\x82\xF1";
inline const std::string kSaveFailedBytes =
    "\x83\x66\x83\x62\x83\x4C\x82\xF0\x95\xDB\x91\xB6\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1"
    "\x82\xC5\x82\xB5\x82\xBD";
// "カードを引けませんでした": a selector that takes nothing.
inline const std::string kNothingDrawnBytes =
    "\x83\x4A\x81\x5B\x83\x68\x82\xF0\x88\xF8\x82\xAF\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5"
    "\x82\xBD";
// "デッキファイルを読めませんでした".
inline const std::string kDeckFileUnreadableBytes =
    "\x83\x66\x83\x62\x83\x4C\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x93\xC7\x82\xDF\x82\xDC"
    "\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD";

inline std::optional<std::string> Deck(std::string_view line) {
  return CallCommand(LoadedPlugin().deck, line);
}
inline std::optional<std::string> Draw(std::string_view line) {
  return CallCommand(LoadedPlugin().draw, line);
}
inline std::optional<std::string> Count(std::string_view line) {
  return CallCommand(LoadedPlugin().count, line);
}
inline std::optional<std::string> Check(std::string_view line) {
  return CallCommand(LoadedPlugin().check, line);
}
inline std::optional<std::string> Shuffle(std::string_view line) {
  return CallCommand(LoadedPlugin().shuffle, line);
}

// A deck file in the form users write: "Max" and one numbered entry per card.
inline std::string DeckFile(const Cards& cards) {
  std::string file = "[DECK]\r\nMax=" + std::to_string(cards.size()) + "\r\n";
  for (std::size_t i = 0; i < cards.size(); ++i) {
    file += std::to_string(i + 1) + "=" + cards[i] + "\r\n";
  }
  return file;
}

// The value of `target`'s line in the save file, found by a plain scan of its lines for
// "<target>="; nullopt when the file or the line is absent. Targets in these tests are plain.
inline std::optional<std::string> SavedLine(const ScratchDirectory& scratch,
                                            std::string_view target) {
  std::optional<std::string> file = scratch.Read("decksave.ini");
  if (!file) return std::nullopt;
  std::string prefix = std::string(target) + "=";
  std::size_t at = 0;
  while (at < file->size()) {
    std::size_t end = file->find_first_of("\r\n", at);
    if (end == std::string::npos) end = file->size();
    std::string_view line(file->data() + at, end - at);
    if (line.substr(0, prefix.size()) == prefix) return std::string(line.substr(prefix.size()));
    at = end + 1;
  }
  return std::nullopt;
}

// A comma list as cards: "" is no card at all.
inline Cards SplitCards(std::string_view line) {
  Cards cards;
  if (line.empty()) return cards;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = line.find(',', start);
    cards.emplace_back(line.substr(start, comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return cards;
}

// The target's saved cards, or nullopt when it has no entry.
inline std::optional<Cards> SavedCards(const ScratchDirectory& scratch, std::string_view target) {
  std::optional<std::string> line = SavedLine(scratch, target);
  if (!line) return std::nullopt;
  return SplitCards(*line);
}

inline Cards Sorted(Cards cards) {
  std::sort(cards.begin(), cards.end());
  return cards;
}

}  // namespace deckhand::testing
