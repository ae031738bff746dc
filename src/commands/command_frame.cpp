#include "commands/command_frame.h"

#include <cstring>
#include <string>

#include "text/shift_jis.h"

namespace deckhand {
namespace {

// Returns the field starting at or after `*cursor`, advancing the cursor past it.
std::optional<std::string_view> NextField(const char*& cursor) {
  while (*cursor == ' ') ++cursor;
  if (*cursor == '\0') return std::nullopt;
  const char* start = cursor;
  while (*cursor != ' ' && *cursor != '\0') ++cursor;
  return std::string_view(start, static_cast<std::size_t>(cursor - start));
}

}  // namespace

CommandFields CutCommandFields(const char* line) {
  CommandFields fields;
  if (line == nullptr) return fields;
  const char* cursor = line;
  fields.user = NextField(cursor);
  if (fields.user) fields.target = NextField(cursor);
  if (fields.target) fields.mode_table = NextField(cursor);
  if (fields.mode_table) fields.command_text = NextField(cursor);
  return fields;
}

void WriteReply(char* reply, std::string_view target, std::string_view text) {
  WriteReply(reply, target, std::string_view(), text);
}

void WriteReply(char* reply, std::string_view target, std::string_view prefix,
                std::string_view text) {
  std::optional<std::size_t> room = ReplyTextRoom(target);
  if (!room) return;
  std::string body;
  body.reserve(prefix.size() + text.size());
  body.append(prefix).append(text);
  std::size_t body_length = ShiftJisPrefixLength(body, *room);

  char* out = reply;
  std::memcpy(out, kReplyHead.data(), kReplyHead.size());
  out += kReplyHead.size();
  std::memcpy(out, target.data(), target.size());
  out += target.size();
  *out++ = ' ';
  std::memcpy(out, body.data(), body_length);
  out += body_length;
  *out = '\0';
}

}  // namespace deckhand
