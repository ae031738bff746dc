// The card-set checker: reads a mode table and every deck file it names exactly as the library
// reads them (with the library's own INI reading code), and tells what a deal would silently
// get wrong: files missing or not where the library looks, text that is not Shift_JIS, a bad
// "Max", entries missing, unreachable, doubled or read differently from how they look.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/encoding.h"

namespace deckhand::host {

// One thing to fix. Texts are in the library's code page (they quote names from the files).
struct CardSetProblem {
  std::string file;
  std::size_t line = 0;  // 1-based; 0 when the problem is the file as a whole
  std::string text;
};

// A mode of the table, as `deck,MODE` would deal it.
struct CardSetMode {
  std::string mode;
  std::string deck_file;
  std::optional<std::int32_t> cards;  // nullopt when `deck,MODE` deals nothing usable
};

struct CardSetReport {
  std::vector<CardSetMode> modes;
  std::vector<CardSetProblem> problems;
};

// Checks the mode table `modes_file` and its deck files, found where the library finds them:
// in the current directory.
CardSetReport CheckCardSets(const std::string& modes_file);

// Why a Deck call with this mode table and command text (library bytes) gave no reply, in the
// library's code page: the mode name, the mode table or the mode is missing, or the deck file
// asks for too many cards.
std::string WhyNoDeal(const std::string& modes_file, std::string_view command_text);

// Why a deal was refused for its deck file: a message naming the deck file that the mode
// names and where it was looked for when that file cannot be read, else empty.
std::string MissingDeckFile(const std::string& modes_file, std::string_view command_text);

// Prints the modes and then the problems ("FILE:LINE: text"), in the terminal's text.
void PrintCardSetReport(const std::string& modes_file, const CardSetReport& report,
                        const TerminalCodec& codec, std::ostream& out);

}  // namespace deckhand::host
