// deckhand: plays with the deckhand library from the command line, the way a chat bot does.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "deckhand/table.h"
#include "host/common/card_check.h"
#include "host/common/encoding.h"
#include "host/common/plugin.h"
#include "host/deckhand/convert_cards.h"
#include "host/deckhand/options.h"
#include "host/deckhand/session.h"
#include "host/deckhand/terminal.h"
#include "host/deckhand/verify_transcript.h"

namespace deckhand::host {
namespace {

constexpr int kCommandFailed = 1;
constexpr int kWrongUsage = 2;

// The library --plugin names, made absolute before --dir moves the current directory; or the
// one found beside the program.
std::optional<std::string> ChoosePluginPath(const HostOptions& options, std::string* error) {
  if (options.plugin_path.empty()) return FindDefaultPlugin(error);
  return std::filesystem::absolute(options.plugin_path).string();
}

int ShowVersion(const HostOptions& options) {
  std::cout << "deckhand " << DECKHAND_VERSION << "\n";
  std::string error;
  std::optional<std::string> path = ChoosePluginPath(options, &error);
  std::cout << "library: " << (path ? *path : "not found") << std::endl;
  return 0;
}

bool EnterDataDirectory(const std::string& directory, std::string* error) {
  if (directory.empty()) return true;
  std::error_code failure;
  std::filesystem::current_path(directory, failure);
  if (failure) *error = "cannot use the directory " + directory + ": " + failure.message();
  return !failure;
}

// --check-cards: the mode table and its deck files of the data directory, as the library reads
// them, with the cards a chat network in the encoding --encoding names cannot show (the report
// is in the locale's text then). Exit 0 when there is nothing to fix, 1 when there is.
int CheckCards(const HostOptions& options) {
  std::string error;
  std::optional<WireEncoding> network = ParseWireEncoding(options.encoding);
  if (!network && options.encoding != "auto") {
    ReportError(
        "with --check-cards, --encoding names the chat network's encoding: utf-8, "
        "iso-2022-jp or shift_jis");
    return kWrongUsage;
  }
  std::optional<TerminalCodec> codec = TerminalCodec::Open("auto", &error);
  std::optional<std::string> modes_file =
      codec ? codec->ToLibrary(options.modes_file, &error) : std::nullopt;
  if (!modes_file || !CheckModesFile(*modes_file, &error)) {
    ReportError(error);
    return kWrongUsage;
  }
  if (!EnterDataDirectory(options.data_directory, &error)) {
    ReportError(error);
    return kCommandFailed;
  }
  CardSetReport report = CheckCardSets(*modes_file);
  PrintCardSetReport(*modes_file, report, *codec, network, std::cout);
  return report.problems.empty() ? 0 : kCommandFailed;
}

// --convert-cards: each file made Shift_JIS. Exit 0 when all were, 1 when any was not.
int ConvertCards(const HostOptions& options) {
  std::string error;
  std::optional<TerminalCodec> codec = TerminalCodec::Open(options.encoding, &error);
  if (!codec) {
    ReportError(error);
    return kWrongUsage;
  }
  if (!EnterDataDirectory(options.data_directory, &error)) {
    ReportError(error);
    return kCommandFailed;
  }
  return ConvertCardFiles(options, *codec);
}

// --verify FILE: exit 0 when the transcript checks, 1 when it does not or cannot be read.
int Verify(const HostOptions& options) {
  std::ifstream transcript(options.verify, std::ios::binary);
  if (!transcript) {
    ReportError("cannot read the transcript " + options.verify);
    return kCommandFailed;
  }
  std::string failure = VerifyTranscript(transcript);
  std::cout << options.verify << ": "
            << (failure.empty() ? "every shuffle and every card checks" : failure) << std::endl;
  return failure.empty() ? 0 : kCommandFailed;
}

int Play(const HostOptions& options) {
  std::string error;
  std::optional<TerminalCodec> codec = TerminalCodec::Open(options.encoding, &error);
  if (!codec) {
    ReportError(error);
    return kWrongUsage;
  }
  std::optional<std::string> path = ChoosePluginPath(options, &error);
  std::optional<Plugin> plugin = path ? LoadPlugin(*path, &error) : std::nullopt;
  if (!plugin) {
    ReportError(error);
    return kCommandFailed;
  }
  if (!EnterDataDirectory(options.data_directory, &error)) {
    ReportError(error);
    return kCommandFailed;
  }
  // The games played here are recorded, for players to check the shuffles.
  table::SetTranscripts({true});
  std::optional<Session> session = Session::Start(*plugin, *codec, options, &error);
  if (!session) {
    ReportError(error);
    return kWrongUsage;
  }
  if (!options.texts.empty()) return RunTexts(*session, options.texts);
  bool interactive = !options.raw && StandardInputIsTerminal();
  return RunLines(*session, std::cin, options.raw, interactive);
}

}  // namespace
}  // namespace deckhand::host

int main(int argc, char** argv) {
  using namespace deckhand::host;
  ParsedOptions parsed = ParseOptions(argc, argv);
  if (!parsed.options) {
    ReportError(parsed.error + "\nTry 'deckhand --help' for more.");
    return kWrongUsage;
  }
  if (parsed.options->show_help) {
    std::cout << UsageText();
    return 0;
  }
  if (parsed.options->show_version) return ShowVersion(*parsed.options);
  if (parsed.options->check_cards) return CheckCards(*parsed.options);
  if (parsed.options->convert_cards) return ConvertCards(*parsed.options);
  if (!parsed.options->verify.empty()) return Verify(*parsed.options);
  return Play(*parsed.options);
}
