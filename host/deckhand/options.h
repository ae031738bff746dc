// The command line of deckhand: what the person or script running it asks for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::host {

struct HostOptions {
  std::string plugin_path;     // empty: the library installed beside the program, or the build's
  std::string data_directory;  // empty: stay in the current directory
  std::string user = "player";
  std::string target = "#deckhand";
  std::string modes_file = "modes.ini";
  std::string encoding = "auto";
  bool raw = false;
  bool check_cards = false;  // check the mode table and its deck files instead of playing
  // --convert-cards: the files (in `texts`) made Shift_JIS, written over themselves, to
  // `output`, or to standard output; `from_list` reads each as a plain list of card names.
  bool convert_cards = false;
  bool in_place = false;
  std::string output;
  bool from_list = false;
  bool reversible = false;  // --from-list makes a deck whose cards are dealt upright or reversed
  std::string verify;       // --verify: the transcript to check instead of playing
  bool show_help = false;
  bool show_version = false;
  // Command texts given as arguments, run in turn; none means read them from standard input.
  // With --convert-cards, the files to convert.
  std::vector<std::string> texts;
};

// The options, or a message saying what is wrong with the command line.
struct ParsedOptions {
  std::optional<HostOptions> options;
  std::string error;
};

// Parses argv with the usual conventions: --opt=value or --opt value, -tVALUE or -t VALUE,
// combined short options, "--" ending the options, options and texts in any order.
ParsedOptions ParseOptions(int argc, char** argv);

// The text of --help.
std::string UsageText();

}  // namespace deckhand::host
