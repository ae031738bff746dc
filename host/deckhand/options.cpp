#include "host/deckhand/options.h"

#include <getopt.h>

namespace deckhand::host {
namespace {

// Long-only options take codes above the range of characters.
enum LongOnly : int {
  kPlugin = 256,
  kEncoding,
  kRaw,
  kVersion,
  kCheckCards,
  kConvertCards,
  kInPlace,
  kFromList,
  kReversible,
  kVerify,
};

const option kLongOptions[] = {
    {"plugin", required_argument, nullptr, kPlugin},
    {"dir", required_argument, nullptr, 'C'},
    {"target", required_argument, nullptr, 't'},
    {"user", required_argument, nullptr, 'u'},
    {"modes", required_argument, nullptr, 'm'},
    {"encoding", required_argument, nullptr, kEncoding},
    {"raw", no_argument, nullptr, kRaw},
    {"check-cards", no_argument, nullptr, kCheckCards},
    {"convert-cards", no_argument, nullptr, kConvertCards},
    {"in-place", no_argument, nullptr, kInPlace},
    {"output", required_argument, nullptr, 'o'},
    {"from-list", no_argument, nullptr, kFromList},
    {"reversible", no_argument, nullptr, kReversible},
    {"verify", required_argument, nullptr, kVerify},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

constexpr const char* kShortOptions = ":C:t:u:m:o:h";

// The option that getopt_long refused, as the person typed it. An unknown short option is in
// optopt (it may sit inside a cluster such as -xt); a long one, or an option whose value is
// missing, is the argument just passed.
std::string RefusedOption(char** argv, bool value_missing) {
  if (!value_missing && optopt != 0) return std::string("-") + static_cast<char>(optopt);
  std::string argument = argv[optind - 1];
  if (argument.rfind("--", 0) == 0) return argument.substr(0, argument.find('='));
  return std::string("-") + static_cast<char>(optopt);
}

// Applies one recognised option; returns false for a code this parser does not know.
bool ApplyOption(int code, const char* value, HostOptions& options) {
  switch (code) {
    case kPlugin:
      options.plugin_path = value;
      return true;
    case 'C':
      options.data_directory = value;
      return true;
    case 't':
      options.target = value;
      return true;
    case 'u':
      options.user = value;
      return true;
    case 'm':
      options.modes_file = value;
      return true;
    case kEncoding:
      options.encoding = value;
      return true;
    case kRaw:
      options.raw = true;
      return true;
    case kCheckCards:
      options.check_cards = true;
      return true;
    case kConvertCards:
      options.convert_cards = true;
      return true;
    case kInPlace:
      options.in_place = true;
      return true;
    case 'o':
      options.output = value;
      return true;
    case kFromList:
      options.from_list = true;
      return true;
    case kReversible:
      options.reversible = true;
      return true;
    case kVerify:
      options.verify = value;
      return true;
    case 'h':
      options.show_help = true;
      return true;
    case kVersion:
      options.show_version = true;
      return true;
    default:
      return false;
  }
}

// --convert-cards and the options that only it takes: files to convert, and one place to write.
ParsedOptions CheckConversion(const HostOptions& options) {
  bool conversion_option = options.in_place || !options.output.empty() || options.from_list;
  if (!options.convert_cards) {
    if (conversion_option || options.reversible) {
      return {std::nullopt,
              "--in-place, --output, --from-list and --reversible go with --convert-cards"};
    }
    return {options, ""};
  }
  if (options.reversible && !options.from_list) {
    return {std::nullopt,
            "--reversible makes a deck file of a list and goes with --from-list; in a deck file "
            "of your own, write Reversible=1 below Max"};
  }
  if (options.check_cards || options.raw) {
    return {std::nullopt,
            "--convert-cards converts files and plays nothing; give no "
            "--check-cards and no --raw"};
  }
  if (options.texts.empty()) {
    return {std::nullopt,
            "--convert-cards needs the card files to convert: deckhand "
            "--convert-cards --in-place mycards.ini"};
  }
  if (options.in_place && !options.output.empty()) {
    return {std::nullopt, "--in-place writes each file over itself; give no --output"};
  }
  if (!options.in_place && options.texts.size() > 1) {
    return {std::nullopt,
            "without --in-place, --convert-cards converts one file at a time (to "
            "standard output or --output)"};
  }
  return {options, ""};
}

}  // namespace

ParsedOptions ParseOptions(int argc, char** argv) {
  HostOptions options;
  optind = 1;
  opterr = 0;  // the messages below name the option in our own words
  for (;;) {
    int code = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
    if (code == -1) break;
    if (code == '?') {
      return {std::nullopt, "unrecognized option '" + RefusedOption(argv, false) + "'"};
    }
    if (code == ':') {
      return {std::nullopt, "option '" + RefusedOption(argv, true) + "' needs a value"};
    }
    if (!ApplyOption(code, optarg, options)) {
      return {std::nullopt, "unrecognized option '" + std::string(argv[optind - 1]) + "'"};
    }
  }
  options.texts.assign(argv + optind, argv + argc);
  if (options.raw && !options.texts.empty()) {
    return {std::nullopt, "--raw reads its commands from standard input; give no command texts"};
  }
  if (options.check_cards && (options.raw || !options.texts.empty())) {
    return {std::nullopt,
            "--check-cards checks the card sets and plays nothing; give no command "
            "texts and no --raw"};
  }
  return CheckConversion(options);
}

std::string UsageText() {
  return R"(Usage: deckhand [OPTION]... [TEXT]...
Plays at the deckhand library's table as a chat bot's players would: each command text
(deck,MODE  draw,1-3  count  check  shuffle  hdraw  deal,5,alice,bob  hand  play,2  recall,all
table  help; WORD@DECK for a named deck) is played by --user at --target, and every line it
sends is printed, addressee first. --user may run every command, the dealer's too.
With no TEXT, command texts are read from standard input, one a line (lines starting with "#"
are comments); at a terminal, deckhand prompts for them.

Options:
  -t, --target=NAME    the chat target whose table is played (default #deckhand)
  -u, --user=NAME      the user who sends the commands (default player)
  -m, --modes=FILE     the mode table naming the card sets, a file of the data directory
                       (default modes.ini)
  -C, --dir=DIR        use the data files of DIR (default: the current directory)
      --plugin=PATH    the library to load (default: the one installed beside deckhand)
      --encoding=ENC   the terminal's text: auto (from the locale; UTF-8 when the locale is
                       C or POSIX), utf-8, sjis (bytes unchanged), or a character set name;
                       with --check-cards, the chat network's (utf-8, iso-2022-jp, shift_jis):
                       the cards that show character references there are listed
      --raw            read lines "EXPORT USER TARGET MODES TEXT" from standard input and pass
                       everything after EXPORT to that export as the command line
      --check-cards    check the mode table (--modes) and every deck file it names, as
                       the library reads them, and list what to fix; exit 1 if anything
      --convert-cards FILE...
                       make card files written in UTF-8, UTF-16 or Shift_JIS Shift_JIS for
                       the library, characters it lacks (suits, emoji) kept as references
                       such as &#x2660;, shown as themselves where the output can show them;
                       to standard output, unless:
      --in-place       write each FILE over itself (safely: a new file, then a rename),
                       keeping its owner and permissions
  -o, --output=FILE    write to FILE, a new file
      --from-list      read FILE as a plain list, one card a line, and make it a deck file
      --reversible     with --from-list: a deck whose cards are dealt upright or reversed
                       at random (Reversible=1), as tarot cards are
      --verify=FILE    check the transcript of a game (games/ of the data directory):
                       every seed, commitment, shuffle and card; exit 1 naming the first
                       line that fails
  -h, --help           show this help and exit
      --version        show the version and the library deckhand would load, and exit

The library speaks Shift_JIS: deckhand converts texts to it and replies from it, showing bytes
that do not convert as \xHH.

A refused command, a failed save or a deal from a missing deck file is explained on standard
error (with the line number for standard input).

Exit status: 0 when every command ran (a draw from an empty deck counts as run), 1 when one was
refused, could not run, got no reply or could not save, or the library could not be used (with
--check-cards: when there is something to fix), 2 for a wrong command line.

Examples, in a directory holding modes.ini and its deck files:
  deckhand --convert-cards --in-place modes.ini mycards.ini
  deckhand --convert-cards --from-list -o mycards.ini mycards.txt
  deckhand --convert-cards --from-list --reversible -o tarot.ini tarot.txt
  deckhand --check-cards --encoding=iso-2022-jp
  deckhand -t '#table' deck,trump draw,1-3 count
)";
}

}  // namespace deckhand::host
