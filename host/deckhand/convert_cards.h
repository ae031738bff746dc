// deckhand --convert-cards: a card file or mode table written in UTF-8 (with or without a
// byte-order mark), UTF-16 (with one) or Shift_JIS, made Shift_JIS for the library, with a
// character reference ("&#x2660;") for each character Shift_JIS lacks. Every line, comment and
// key stays where it was, and each line keeps its own line end. With --from-list, a plain list
// of card names, one a line, becomes a deck file (--reversible: one dealt as tarot cards are).
#pragma once

#include <string>
#include <string_view>

#include "host/common/encoding.h"
#include "host/deckhand/options.h"

namespace deckhand::host {

struct Conversion {
  bool converted = false;
  bool changed = false;  // the Shift_JIS bytes differ from the file's
  std::string bytes;     // the file in Shift_JIS
  std::string what;      // "20 cards, 5 characters kept as references (&#x2660; ...)"
  std::string failure;   // why not, e.g. "7:3: is UTF-8 text, broken here: ..."
};

// Converts the bytes of one file; `what` and `failure` are in library bytes, for the terminal.
// A list (`from_list`) becomes a deck file, one whose cards are dealt upright or reversed when
// `reversible`.
Conversion ConvertCardFile(std::string_view bytes, bool from_list, bool reversible = false);

// Runs --convert-cards on the files that `options` names, in the current directory. Returns
// the exit status: 0 when every file was converted, 1 when any was not.
int ConvertCardFiles(const HostOptions& options, const TerminalCodec& codec);

}  // namespace deckhand::host
