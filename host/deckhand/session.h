// A game through the library: command texts in, replies out, as a chat bot would relay them.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/encoding.h"
#include "host/deckhand/options.h"
#include "host/common/plugin.h"

namespace deckhand::host {

// Writes "deckhand: MESSAGE" to standard error.
void ReportError(std::string_view message);

// Checks that the mode table's name (library bytes) is a plain file name: the library looks for
// it, and for the deck files it names, in the data directory, so a path would find the table
// but not its deck files.
bool CheckModesFile(std::string_view library_name, std::string* error);

// What went wrong when `reply` is the library's word to `target` that a command failed (the
// deck could not be saved, the cards could not be shuffled); empty for any other reply.
std::string_view FailureOfReply(std::string_view reply, std::string_view target);

class Session {
 public:
  // Checks and converts the user, target and mode table names once; nullopt and `error` filled
  // when one is empty, holds a space (which would shift the fields of every command line) or
  // cannot be converted.
  static std::optional<Session> Start(const Plugin& plugin, const TerminalCodec& codec,
                                      const HostOptions& options, std::string* error);

  // Checks that a command text starts with a word that names an export and holds no space
  // (which would cut it in two), before any runs.
  bool CheckText(std::string_view text, std::string* error) const;

  // Runs one command text: "USER TARGET MODES TEXT" goes to the export its word names, and the
  // reply (if any) is printed. Returns false, after saying why on standard error, when the
  // command could not run, got no reply, could not save, or dealt from a missing deck file.
  // `interactive` also says "(no reply)"; `where` ("line 3: ") heads every message.
  bool RunText(std::string_view text, bool interactive, std::string_view where) const;

  // Runs one line "EXPORT COMMAND-LINE": everything after the first space goes to EXPORT as the
  // command line, unchanged apart from the terminal's encoding.
  bool RunRawLine(std::string_view line, std::string_view where) const;

  const std::string& target_shown() const { return target_shown_; }

 private:
  Session(const Plugin& plugin, const TerminalCodec& codec, std::string line_head,
          std::string target_shown)
      : plugin_(&plugin),
        codec_(&codec),
        line_head_(std::move(line_head)),
        target_shown_(std::move(target_shown)) {}

  // Calls export `index` with `line` (in the library's code page), prints the reply and says
  // on standard error what went wrong when there is none or it tells of a failure.
  bool Call(std::size_t index, const std::string& line, bool interactive,
            std::string_view where) const;

  const Plugin* plugin_;
  const TerminalCodec* codec_;
  std::string line_head_;     // "USER TARGET MODES " in the library's code page
  std::string target_shown_;  // the target as the person typed it
};

// Runs every text given on the command line, after checking them all. Returns the exit status.
int RunTexts(const Session& session, const std::vector<std::string>& texts);

// Runs command texts (or raw lines) read from `input`, one a line, until its end; blank lines
// and lines starting with "#" are skipped. At a terminal it prompts on standard error. Returns
// the exit status: 1 when any command could not run or failed. Messages give the line number.
int RunLines(const Session& session, std::istream& input, bool raw, bool interactive);

}  // namespace deckhand::host
