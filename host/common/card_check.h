// The card-set checker: reads a mode table and every deck file it names exactly as the library
// reads them (with the library's own INI reading code), and tells what a deal would silently
// get wrong: files missing or not where the library looks, text that is not Shift_JIS, a bad
// "Max", entries missing, unreachable, doubled or read differently from how they look.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "deckhand/table.h"
#include "host/common/encoding.h"
#include "host/common/wire_encoding.h"

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

// A card dealt with characters Shift_JIS lacks, kept as references ("&#x2660;"), in library bytes.
struct ReferencedCard {
  std::string deck_file;
  std::size_t line = 0;
  std::string card;
};

struct CardSetReport {
  std::vector<CardSetMode> modes;
  std::vector<CardSetProblem> problems;
  std::vector<ReferencedCard> referenced_cards;  // in the order of the files and their lines
};

// Checks the mode table `modes_file` and its deck files, found where the library finds them:
// in the current directory.
CardSetReport CheckCardSets(const std::string& modes_file);

// A deal that dealt nothing, as the table told it (deckhand/table.h): its outcome, the mode
// asked for and, once the mode table names one, the mode's deck file.
struct FailedDeal {
  table::Outcome outcome = table::Outcome::kDone;
  std::string mode;
  std::string deck_file;
};

// Why the deal dealt nothing, for a log or a terminal, in the library's code page: what the table
// said, with the paths where the library looks for the files, and for a mode the table lacks
// the modes it holds (`modes_held`, as the host knows them), with the one the mode is a slip
// for. Empty for an outcome that is no fault of the deal's mode or files.
std::string WhyNoDeal(const FailedDeal& deal, const std::string& modes_file,
                      const std::vector<std::string>& modes_held);

// The modes the mode table `modes_file` holds, in order; none when it cannot be read. For
// hints only: a deal's outcome is the table's to tell.
std::vector<std::string> ListModes(const std::string& modes_file);

// Library bytes in a program's output text (a terminal's, a log's).
using ShownText = std::function<std::string(std::string_view)>;

// The warning for a chat network in `encoding`: a line for each card that shows character
// references there ("mini.ini:3: \"♠A\" shows as \"&#x2660;A\" ..."), at most `most` of them,
// then a hint. Texts are made by `shown`, the references kept as they stand, as the network shows
// them. None where every card shows as written.
std::vector<std::string> ReferenceWarnings(const CardSetReport& report, WireEncoding encoding,
                                           const ShownText& shown, std::size_t most);

// Prints the modes and then the problems ("FILE:LINE: text"), in the terminal's text, with the
// warning for a chat network in `network` when given.
void PrintCardSetReport(const std::string& modes_file, const CardSetReport& report,
                        const TerminalCodec& codec, std::optional<WireEncoding> network,
                        std::ostream& out);

}  // namespace deckhand::host
