// The transcripts of recorded games: one file per game in "games/" of the data directory, one
// JSON object per line, from which anyone can replay the game once its seeds are revealed
// (docs/shuffles.md describes every line). Strings hold the save file's bytes, each byte as the
// character of that code (U+0000 to U+00FF), so that places, cards and seeds come back exact
// whatever code page they are in.
//
// A command gathers its lines while it plays and writes them once the save file holds what it
// did: each file is replaced whole and atomically, as the save file is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "deckhand/table.h"
#include "random/fair_shuffle.h"

namespace deckhand::table {

inline constexpr std::string_view kTranscriptDirectory = "games";

// The setting in force (SetTranscripts).
const TranscriptSettings& ActiveTranscriptSettings();

// A JSON string of `bytes`, as the transcripts write them.
std::string JsonBytes(std::string_view bytes);

class TranscriptLines {
 public:
  // Every line from here on goes to `file`.
  void To(std::string file) { file_ = std::move(file); }

  void Game(std::string_view place, std::string_view deck);
  void Commit(std::uint64_t number, std::string_view commitment);
  void Seed(std::uint64_t number, std::string_view player, std::string_view text);
  // `kind`: "deal" (a new pile: the discard pile and hands are emptied), "shuffle" (the draw
  // pile), "recall" (the discard pile under the draw pile), or "recall_all" (the hands too).
  void Shuffle(std::uint64_t number, std::string_view commitment, std::string_view kind,
               bool reversible, const PlayerSeeds& players, const Cards& input,
               const Cards& output);
  // Cards off the draw pile, at `positions` (from 0 at the top, each in the pile as it was
  // before any of them went), to `player`'s hand, or onto the discard pile when `player` is "".
  void Draw(const std::vector<std::size_t>& positions, const Cards& cards, std::string_view player);
  void Deal(const std::vector<std::pair<std::string, Cards>>& dealt, const Cards& taken);
  // Cards out of `player`'s hand, to `receiver`'s hand or onto the discard pile when "".
  void Play(std::string_view player, const Cards& cards, std::string_view receiver);
  void Reveal(const std::vector<std::pair<std::uint64_t, std::string>>& seeds);

  // Appends every line to its file. False when a file could not be written.
  bool Write() const;

 private:
  void Add(std::string line);

  std::string file_;
  std::vector<std::pair<std::string, std::string>> lines_;  // file, line
};

// The file name for a new game of `deck` at `place`, whose first shuffle is `first_shuffle`;
// older transcripts beyond the setting's days and files are removed first. Empty, and nothing
// removed, when the directory is a symbolic link.
std::string NewTranscript(std::string_view place, std::string_view deck,
                          std::uint64_t first_shuffle);

}  // namespace deckhand::table
