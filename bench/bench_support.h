// What every benchmark shares: a scratch directory on a real disk, the data files a host's
// users keep (save files of many targets, mode tables, deck files), and a call of an export
// shaped as a host makes it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "deckhand/deckhand.h"

namespace deckhand::bench {

// A fresh directory that is the current directory while the object lives, so the library
// finds its data files there. It lies under $DECKHAND_BENCH_DIR, else under the directory the
// program was started in: saves must reach a real disk for their flushes to cost what they
// cost in use.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Absolute path of `name` inside the directory.
  std::string PathOf(std::string_view name) const;

 private:
  std::string previous_;
  std::string path_;
};

inline constexpr std::size_t kStandardDeckSize = 52;

// The 52 cards of a standard deck, Shift_JIS names as users write them ("スペードのA").
const std::vector<std::string>& StandardCards();

// `count` distinct card names ("カード1", "カード2", ...).
std::vector<std::string> NumberedCards(std::size_t count);

// The name of the i-th target of a save file (a chat channel: "#room7").
std::string TargetName(std::size_t index);

// A save file of `targets` targets, each holding the 52 standard cards in its own order, as
// the library itself writes it.
const std::string& SaveFileOfTargets(std::size_t targets);

// A save file of one target holding `cards`.
std::string SaveFileOfDeck(std::string_view target, const std::vector<std::string>& cards);

// A deck file listing `cards` ("Max" and one numbered key per card).
std::string DeckFileOf(const std::vector<std::string>& cards);

// A mode table mapping `mode` to `deck_file`.
std::string ModeTableOf(std::string_view mode, std::string_view deck_file);

// Writes `bytes` to `path` and flushes it, replacing any older file in one step, so that no
// unwritten data is left behind to be flushed inside a later timed save.
void WriteFileDurably(const std::string& path, std::string_view bytes);

// A command line and a reply buffer, called the way a host calls an export: a fresh writable
// copy of the line for every call and a reply buffer of the documented size.
class HostCall {
 public:
  HostCall(DeckhandCommand command, std::string line);

  // Calls the export once and returns the reply ("" when it wrote none).
  std::string_view Run();

 private:
  DeckhandCommand command_;
  std::string line_;
  std::vector<char> writable_line_;
  char reply_[DECKHAND_REPLY_SIZE];
};

}  // namespace deckhand::bench
