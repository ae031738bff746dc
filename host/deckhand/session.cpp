#include "host/deckhand/session.h"

#include <iostream>

#include "deckhand/card_files.h"
#include "host/common/ascii.h"
#include "host/common/call.h"
#include "host/common/card_check.h"

namespace deckhand::host {
namespace {

// The word that picks the export: the text before its first comma.
std::string_view CommandWord(std::string_view text) { return text.substr(0, text.find(',')); }

// The word of a table command: the text before its deck ("@D") and its first comma.
std::string_view TableWord(std::string_view text) {
  std::string_view head = CommandWord(text);
  return head.substr(0, head.find('@'));
}

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

// The fields of a command line as the library cuts it: runs of spaces separate them.
std::vector<std::string_view> CommandLineFields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t at = line.find_first_not_of(' '); at != std::string_view::npos;
       at = line.find_first_not_of(' ', at)) {
    std::size_t end = std::min(line.find(' ', at), line.size());
    fields.push_back(line.substr(at, end - at));
    at = end;
  }
  return fields;
}

// What went wrong when the table could not save or shuffle; empty for any other outcome.
std::string_view WhyFailed(table::Outcome outcome) {
  switch (outcome) {
    case table::Outcome::kSaveFailed:
      return "the deck could not be saved: the data directory must be writable, decksave.ini a "
             "regular file (no link) that is not read-only, and decksave.ini.lock not held by "
             "another program for 5 seconds";
    case table::Outcome::kShuffleFailed:
      return "the system's random generator failed: nothing was dealt or shuffled, and no file "
             "changed";
    default:
      return {};
  }
}

}  // namespace

bool CheckModesFile(std::string_view library_name, std::string* error) {
  for (std::size_t at = 0; at < library_name.size();
       at += card_files::ShiftJisCharLength(library_name, at)) {
    if (library_name[at] == '/' || library_name[at] == '\\') {
      *error =
          "--modes names a file of the data directory, not a path; the library looks for "
          "the deck files in the data directory too. For cards/modes.ini, use "
          "-C cards -m modes.ini";
      return false;
    }
  }
  return true;
}

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
  std::vector<std::string> names;
  for (const std::string* field : {&options.user, &options.target, &options.modes_file}) {
    std::optional<std::string> converted = codec.ToLibrary(*field, error);
    if (!converted) return std::nullopt;
    if (field == &options.modes_file && !CheckModesFile(*converted, error)) return std::nullopt;
    names.push_back(std::move(*converted));
  }
  return Session(plugin, codec, std::move(names), options.target);
}

bool Session::CheckText(std::string_view text, std::string* error) const {
  if (text.find(' ') != std::string_view::npos) {
    std::string joined(text);
    std::erase(joined, ' ');
    *error = "a command text holds no spaces (the library cuts its command line at spaces): \"" +
             std::string(text) + "\"; did you mean \"" + joined + "\"?";
    return false;
  }
  if (FindChatCommand(TableWord(text)) != nullptr) return true;
  *error = "unknown command \"" + std::string(TableWord(text)) + "\" in \"" + std::string(text) +
           "\": use deck, draw, count, check, shuffle or another of the table's (\"help\" lists "
           "them)";
  return false;
}

bool Session::RunText(std::string_view text, bool interactive, std::string_view where) const {
  std::string error;
  if (!CheckText(text, &error)) {
    ReportError(std::string(where) + error);
    return false;
  }
  std::optional<std::string> converted = codec_->ToLibrary(text, &error);
  if (!converted) {
    ReportError(std::string(where) + error);
    return false;
  }
  TableCommand command;
  command.player = user_;
  command.place = target_;
  command.text = *converted;
  command.modes_file = modes_file_;
  command.may_deal = true;
  TableAnswer answer = RunTableCommand(command, texts_);
  for (const ChatLine& line : answer.lines) {
    std::cout << codec_->ToTerminal("NOTICE " + line.to + " " + line.text) << std::endl;
  }
  if (interactive && answer.lines.empty()) std::cerr << "(no reply)" << std::endl;
  if (answer.status == AnswerStatus::kDone || answer.status == AnswerStatus::kNoCards) return true;
  ReportError(std::string(where) + std::string(text) + ": " + WhyRefused(answer));
  return false;
}

std::string Session::WhyRefused(const TableAnswer& answer) const {
  if (answer.outcome) {
    // A deal that found no mode, or no deck file, is told with the names and paths involved.
    if (answer.command->id == CommandId::kDeck) {
      std::vector<std::string> modes;
      if (answer.outcome == table::Outcome::kNoSuchMode) modes = ListModes(modes_file_);
      std::string why =
          WhyNoDeal({*answer.outcome, answer.mode, answer.deck_file}, modes_file_, modes);
      if (!why.empty()) return codec_->ToTerminal(why);
    }
    std::string_view failure = WhyFailed(*answer.outcome);
    if (!failure.empty()) return std::string(failure);
  }
  if (answer.lines.empty()) return "refused";
  return "refused: " + codec_->ToTerminal(answer.lines.back().text);
}

bool Session::RunRawLine(std::string_view line, std::string_view where) const {
  std::size_t space = line.find(' ');
  std::string_view name = line.substr(0, space);
  std::optional<std::size_t> index = FindExport(name);
  if (!index) {
    ReportError(std::string(where) + "unknown export \"" + std::string(name) +
                "\": use Deck, Draw, Count, Check or Shuffle");
    return false;
  }
  std::string_view command_line = space == std::string_view::npos ? "" : line.substr(space + 1);
  std::string error;
  std::optional<std::string> converted = codec_->ToLibrary(command_line, &error);
  if (!converted) {
    ReportError(std::string(where) + error);
    return false;
  }
  return Call(*index, *converted, false, where);
}

bool Session::Call(std::size_t index, const std::string& line, bool interactive,
                   std::string_view where) const {
  CallResult result = CallCommand(plugin_->exports[index], line);
  std::string head = std::string(where) + std::string(kExportNames[index]) + ": ";
  if (!result.fault.empty()) {
    ReportError(head + result.fault);
    return false;
  }
  // The library's reply is printed as it came: what it means is the library's to say, and the
  // reply's text is no outcome to decide by.
  if (!result.reply) {
    if (interactive) std::cerr << "(no reply)" << std::endl;
    // A command reads its text only from a line of all four fields (user, target, mode table,
    // text).
    bool complete = CommandLineFields(line).size() >= 4;
    ReportError(head + (complete ? "the library gave no reply"
                                 : "no reply: the command line needs four fields: USER TARGET "
                                   "MODES TEXT"));
    return false;
  }
  std::cout << codec_->ToTerminal(*result.reply) << std::endl;
  return true;
}

int RunTexts(const Session& session, const std::vector<std::string>& texts) {
  // A typo in the last text must not leave the first ones played: check all before any runs.
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::string error;
    if (!session.CheckText(texts[i], &error)) {
      // "draw, 3" typed in a shell arrives as the two texts "draw," and "3".
      if (i > 0 && !texts[i - 1].empty() && texts[i - 1].back() == ',') {
        error += "; did you mean \"" + texts[i - 1] + texts[i] + "\"? (no space after the comma)";
      }
      ReportError(error);
      return 1;
    }
  }
  bool all_ran = true;
  for (const std::string& text : texts) all_ran &= session.RunText(text, false, "");
  return all_ran ? 0 : 1;
}

int RunLines(const Session& session, std::istream& input, bool raw, bool interactive) {
  if (interactive) {
    std::cerr << "Playing at " << session.target_shown()
              << ". Commands: deck,MODE  draw  draw,N  draw,N-M  count  check  shuffle"
              << "  hdraw  deal,N,NICK  hand  play,N  recall  table  help."
              << " Ctrl-D ends." << std::endl;
  }
  bool all_ran = true;
  std::string line;
  for (std::size_t number = 1;; ++number) {
    if (interactive) std::cerr << session.target_shown() << "> " << std::flush;
    if (!std::getline(input, line)) break;
    std::string_view text = raw ? TrimLineEnd(line) : TrimSpaces(line);
    if (TrimSpaces(text).empty() || TrimSpaces(text).front() == '#') continue;
    // At a terminal the line is the one just typed; elsewhere its number finds it in the file.
    std::string where = interactive ? "" : "line " + std::to_string(number) + ": ";
    all_ran &= raw ? session.RunRawLine(text, where) : session.RunText(text, interactive, where);
  }
  if (interactive) std::cerr << std::endl;
  return all_ran ? 0 : 1;
}

}  // namespace deckhand::host
