// How a chat host reads its settings: an INI file first ([section], key = value, ";" comments),
// then long command-line options over it. The keys and options themselves are each host's own.
#pragma once

#include <getopt.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/log.h"

namespace deckhand::host {

// Sets the key `name` of `section`; nullopt when set, else the reason, as the error will say it.
using SetKey = std::function<std::optional<std::string>(
    std::string_view section, std::string_view name, const std::string& value)>;

// Hands every key of the file at `path` to `set`, in order; false and `error` at the first key
// refused ("path:LINE: reason"), a line that is no key, or a file that cannot be read.
bool ReadSettingsFile(const std::string& path, const SetKey& set, std::string* error);

// The reason to give for a key no table knows.
std::string UnknownSetting(std::string_view section, std::string_view name);

// `path` as the settings file at `settings_path` means it: a relative path starts at that
// file's directory, wherever the program was started. Empty stays empty.
std::string PathFromSettingsFile(const std::string& settings_path, const std::string& path);

struct GivenOption {
  int code;           // the option's code in the table
  std::string value;  // its value, or empty
};

// The long options of the command line, as `options` (getopt_long's table, every option's code
// above 255) defines them; nullopt and `error` for the first one it refuses, a missing value or an
// argument that is no option.
std::optional<std::vector<GivenOption>> ReadLongOptions(int argc, char** argv,
                                                        const option* options, std::string* error);

// "info", "warning" or "error".
std::optional<LogLevel> ParseLogLevel(std::string_view name);

}  // namespace deckhand::host
