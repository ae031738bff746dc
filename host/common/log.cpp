#include "host/common/log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "deckhand/card_files.h"
#include "host/common/character_references.h"
#include "host/common/encoding.h"

namespace deckhand::host {
namespace {

bool verbose_log = false;
LogLevel least_level = LogLevel::kInfo;

std::string_view LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::kDebug:
      return "debug";
    case LogLevel::kInfo:
      return "info";
    case LogLevel::kWarning:
      return "warning";
    case LogLevel::kError:
      return "error";
  }
  return "?";
}

// "2026-01-31T12:34:56.789Z"
std::string TimeStamp() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t seconds = system_clock::to_time_t(now);
  auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis));
  return text;
}

void AppendEscaped(unsigned char byte, std::string& out) {
  char escaped[8];
  std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
  out += escaped;
}

// Control characters (C0 but the tab, DEL, C1) move a terminal's cursor, colour it or end a
// journal's line instead of showing.
bool IsControl(char32_t code_point) {
  return (code_point < 0x20 && code_point != '\t') || (code_point >= 0x7F && code_point <= 0x9F);
}

}  // namespace

std::string LogText(std::string_view message) {
  std::string text;
  for (std::size_t at = 0; at < message.size();) {
    auto byte = static_cast<unsigned char>(message[at]);
    std::optional<Utf8Character> utf8 = ReadUtf8(message, at);
    if (utf8 && !IsControl(utf8->code_point)) {
      text += message.substr(at, utf8->length);
      at += utf8->length;
      continue;
    }
    std::size_t length = card_files::ShiftJisCharLength(message, at);
    if (!utf8 &&
        ConvertPrefix(kLibraryCharset, "UTF-8", message.substr(at, length), text) == length) {
      at += length;
      continue;
    }
    AppendEscaped(byte, text);
    ++at;
  }
  return text;
}

void SetVerboseLog(bool verbose) { verbose_log = verbose; }
void SetLogLevel(LogLevel level) { least_level = level; }
bool VerboseLog() { return verbose_log; }

void Log(LogLevel level, std::string_view message) {
  if (level == LogLevel::kDebug && !verbose_log) return;
  if (level != LogLevel::kDebug && level < least_level) return;
  std::string line = TimeStamp();
  line.append(" ").append(LevelName(level)).append(" ").append(LogText(message)).append("\n");
  // One write per line, so that lines stay whole when standard error is shared.
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace deckhand::host
