// A game through the library: command texts in, replies out, as a chat bot would relay them.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/encoding.h"
#include "host/common/plugin.h"
#include "host/common/table_chat.h"
#include "host/deckhand/options.h"

namespace deckhand::host {

// Writes "deckhand: MESSAGE" to standard error.
void ReportError(std::string_view message);

// Checks that the mode table's name (library bytes) is a plain file name: the library looks for
// it, and for the deck files it names, in the data directory, so a path would find the table
// but not its deck files.
bool CheckModesFile(std::string_view library_name, std::string* error);

class Session {
 public:
  // Checks and converts the user, target and mode table names once; nullopt and `error` filled
  // when one is empty, holds a space (which would shift the fields of every command line) or
  // cannot be converted.
  static std::optional<Session> Start(const Plugin& plugin, const TerminalCodec& codec,
                                      const HostOptions& options, std::string* error);

  // Checks that a command text starts with a word that names a table command and holds no space
  // (which a chat cuts off), before any runs.
  bool CheckText(std::string_view text, std::string* error) const;

  // Runs one command text at the table, played by the user at the target, and prints every line
  // it sends, addressee first ("NOTICE alice ...", "NOTICE #table ..."). The user may run every
  // command, the dealer's too. Returns false, after saying why on standard error, when the
  // command was refused or could not save, shuffle or read its deck file. `where` ("line 3: ")
  // heads every message.
  bool RunText(std::string_view text, bool interactive, std::string_view where) const;

  // Runs one line "EXPORT COMMAND-LINE": everything after the first space goes to EXPORT as the
  // command line, unchanged apart from the terminal's encoding.
  bool RunRawLine(std::string_view line, std::string_view where) const;

  const std::string& target_shown() const { return target_shown_; }

 private:
  Session(const Plugin& plugin, const TerminalCodec& codec, std::vector<std::string> names,
          std::string target_shown)
      : plugin_(&plugin),
        codec_(&codec),
        user_(std::move(names[0])),
        target_(std::move(names[1])),
        modes_file_(std::move(names[2])),
        target_shown_(std::move(target_shown)),
        texts_(DefaultTableTexts()) {}

  // What deckhand says on standard error about a command that was refused or failed.
  std::string WhyRefused(const TableAnswer& answer) const;

  // Calls export `index` with `line` (in the library's code page) and prints the reply; says on
  // standard error when there is none.
  bool Call(std::size_t index, const std::string& line, bool interactive,
            std::string_view where) const;

  const Plugin* plugin_;
  const TerminalCodec* codec_;
  // In the library's code page.
  std::string user_;
  std::string target_;
  std::string modes_file_;
  std::string target_shown_;  // the target as the person typed it
  TableTexts texts_;
};

// Runs every text given on the command line, after checking them all. Returns the exit status.
int RunTexts(const Session& session, const std::vector<std::string>& texts);

// Runs command texts (or raw lines) read from `input`, one a line, until its end; blank lines
// and lines starting with "#" are skipped. At a terminal it prompts on standard error. Returns
// the exit status: 1 when any command could not run or failed. Messages give the line number.
int RunLines(const Session& session, std::istream& input, bool raw, bool interactive);

}  // namespace deckhand::host
