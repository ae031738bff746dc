#include "host/deckhand/session.h"

#include <iostream>

#include "host/common/call.h"

namespace deckhand::host {
namespace {

// The word that picks the export: the text before its first comma.
std::string_view CommandWord(std::string_view text) { return text.substr(0, text.find(',')); }

std::string_view TrimSpaces(std::string_view text) {
  constexpr std::string_view kSpaces = " \t\r\n";
  std::size_t first = text.find_first_not_of(kSpaces);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpaces) - first + 1);
}

std::string_view TrimLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  return text;
}

// One field of every command line: a single word, or the fields after it would shift.
bool CheckField(std::string_view value, std::string_view option, std::string* error) {
  if (value.empty()) {
    *error = std::string(option) + " must not be empty";
    return false;
  }
  if (value.find(' ') != std::string_view::npos) {
    *error =
        std::string(option) + " must be one word without spaces: \"" + std::string(value) + "\"";
    return false;
  }
  return true;
}

}  // namespace

void ReportError(std::string_view message) {
  std::cout.flush();
  std::cerr << "deckhand: " << message << std::endl;
}

std::optional<Session> Session::Start(const Plugin& plugin, const TerminalCodec& codec,
                                      const HostOptions& options, std::string* error) {
  if (!CheckField(options.user, "--user", error) ||
      !CheckField(options.target, "--target", error) ||
      !CheckField(options.modes_file, "--modes", error)) {
    return std::nullopt;
  }
  std::string head;
  for (const std::string* field : {&options.user, &options.target, &options.modes_file}) {
    std::optional<std::string> converted = codec.ToLibrary(*field, error);
    if (!converted) return std::nullopt;
    head += *converted + " ";
  }
  return Session(plugin, codec, head, options.target);
}

bool Session::CheckText(std::string_view text, std::string* error) const {
  if (FindExport(CommandWord(text))) return true;
  *error = "unknown command \"" + std::string(CommandWord(text)) + "\" in \"" + std::string(text) +
           "\": use deck, draw, count, check or shuffle";
  return false;
}

bool Session::RunText(std::string_view text, bool interactive) const {
  std::string error;
  if (!CheckText(text, &error)) {
    ReportError(error);
    return false;
  }
  std::optional<std::string> converted = codec_->ToLibrary(text, &error);
  if (!converted) {
    ReportError(error);
    return false;
  }
  return Call(*FindExport(CommandWord(text)), line_head_ + *converted, interactive);
}

bool Session::RunRawLine(std::string_view line) const {
  std::size_t space = line.find(' ');
  std::string_view name = line.substr(0, space);
  std::optional<std::size_t> index = FindExport(name);
  if (!index) {
    ReportError("unknown export \"" + std::string(name) +
                "\": use Deck, Draw, Count, Check or Shuffle");
    return false;
  }
  std::string_view command_line = space == std::string_view::npos ? "" : line.substr(space + 1);
  std::string error;
  std::optional<std::string> converted = codec_->ToLibrary(command_line, &error);
  if (!converted) {
    ReportError(error);
    return false;
  }
  return Call(*index, *converted, false);
}

bool Session::Call(std::size_t index, const std::string& line, bool interactive) const {
  CallResult result = CallCommand(plugin_->exports[index], line);
  if (!result.fault.empty()) {
    ReportError(result.fault + " (" + std::string(kExportNames[index]) + ")");
    return false;
  }
  if (result.reply) {
    std::cout << codec_->ToTerminal(*result.reply) << std::endl;
  } else if (interactive) {
    std::cerr << "(no reply)" << std::endl;
  }
  return true;
}

int RunTexts(const Session& session, const std::vector<std::string>& texts) {
  // A typo in the last text must not leave the first ones played: check all before any runs.
  for (const std::string& text : texts) {
    std::string error;
    if (!session.CheckText(text, &error)) {
      ReportError(error);
      return 1;
    }
  }
  bool all_ran = true;
  for (const std::string& text : texts) all_ran &= session.RunText(text, false);
  return all_ran ? 0 : 1;
}

int RunLines(const Session& session, std::istream& input, bool raw, bool interactive) {
  if (interactive) {
    std::cerr << "Playing at " << session.target_shown()
              << ". Commands: deck,MODE  draw  draw,N  draw,N-M  count  check  shuffle."
              << " Ctrl-D ends." << std::endl;
  }
  bool all_ran = true;
  std::string line;
  for (;;) {
    if (interactive) std::cerr << session.target_shown() << "> " << std::flush;
    if (!std::getline(input, line)) break;
    std::string_view text = raw ? TrimLineEnd(line) : TrimSpaces(line);
    if (TrimSpaces(text).empty() || TrimSpaces(text).front() == '#') continue;
    all_ran &= raw ? session.RunRawLine(text) : session.RunText(text, interactive);
  }
  if (interactive) std::cerr << std::endl;
  return all_ran ? 0 : 1;
}

}  // namespace deckhand::host
