// What every command shares: cutting the command line into fields and writing the reply line.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "text/reply_line.h"

namespace deckhand {

// The first four fields of a command line, each absent when the line ends before it.
// Fields are views into the caller's line, which must outlive them.
struct CommandFields {
  std::optional<std::string_view> user;          // field 1, never read by a command
  std::optional<std::string_view> target;        // field 2: reply target and save key
  std::optional<std::string_view> mode_table;    // field 3: mode table file name
  std::optional<std::string_view> command_text;  // field 4: "word,argument"
};

// Cuts fields at runs of spaces (0x20 only: a tab is part of a field), skipping spaces before
// the first. Only the first four fields are cut; the rest of the line is never looked at. The
// line is read, not modified.
CommandFields CutCommandFields(const char* line);

// Writes "NOTICE <target> <text>" and a NUL into `reply` (kReplyCapacity bytes). A text that does
// not fit is cut at the last whole Shift_JIS character that does. Writes nothing when the head
// alone does not fit (see ReplyTextRoom).
void WriteReply(char* reply, std::string_view target, std::string_view text);

// Like WriteReply for a text made of a fixed prefix and a variable part.
void WriteReply(char* reply, std::string_view target, std::string_view prefix,
                std::string_view text);

}  // namespace deckhand
