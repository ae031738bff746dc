#include "host/common/settings_file.h"

#include <ini.h>

#include <filesystem>
#include <utility>

namespace deckhand::host {
namespace {

struct FileReading {
  const SetKey* set;
  std::string first_reason;  // of the first line refused
};

// Called by the INI parser for every key; returning 0 marks the line as faulty, and the parser
// then reports the first such line's number.
int HandleKey(void* user, const char* section, const char* name, const char* value) {
  auto* reading = static_cast<FileReading*>(user);
  std::optional<std::string> reason = (*reading->set)(section, name, value);
  if (!reason) return 1;
  if (reading->first_reason.empty()) reading->first_reason = *reason;
  return 0;
}

}  // namespace

bool ReadSettingsFile(const std::string& path, const SetKey& set, std::string* error) {
  FileReading reading{&set, ""};
  int result = ini_parse(path.c_str(), HandleKey, &reading);
  if (result == 0) return true;
  if (result < 0) {
    *error = path + ": cannot read the file";
  } else if (reading.first_reason.empty()) {
    *error = path + ":" + std::to_string(result) + ": not a [section] nor a key = value line";
  } else {
    *error = path + ":" + std::to_string(result) + ": " + reading.first_reason;
  }
  return false;
}

std::string UnknownSetting(std::string_view section, std::string_view name) {
  return "unknown setting \"" + std::string(name) + "\" in [" + std::string(section) + "]";
}

std::string PathFromSettingsFile(const std::string& settings_path, const std::string& path) {
  if (path.empty() || std::filesystem::path(path).is_absolute()) return path;
  std::error_code ignored;
  std::filesystem::path directory =
      std::filesystem::absolute(std::filesystem::path(settings_path), ignored).parent_path();
  return (directory / path).lexically_normal().string();
}

std::optional<std::vector<GivenOption>> ReadLongOptions(int argc, char** argv,
                                                        const option* options, std::string* error) {
  std::vector<GivenOption> given;
  optind = 1;
  opterr = 0;  // the message below names the option in our own words
  for (;;) {
    int code = getopt_long(argc, argv, ":", options, nullptr);
    if (code == -1) break;
    if (code == '?' || code == ':') {
      std::string argument = argv[optind - 1];
      *error = (code == ':' ? "missing value for " : "unknown option ") +
               argument.substr(0, argument.find('='));
      return std::nullopt;
    }
    given.push_back({code, optarg != nullptr ? optarg : ""});
  }
  if (optind < argc) {
    *error = std::string("unexpected argument \"") + argv[optind] + "\"";
    return std::nullopt;
  }
  return given;
}

std::optional<LogLevel> ParseLogLevel(std::string_view name) {
  static constexpr std::pair<std::string_view, LogLevel> kLevels[] = {
      {"info", LogLevel::kInfo}, {"warning", LogLevel::kWarning}, {"error", LogLevel::kError}};
  for (const auto& [level_name, level] : kLevels) {
    if (name == level_name) return level;
  }
  return std::nullopt;
}

}  // namespace deckhand::host
