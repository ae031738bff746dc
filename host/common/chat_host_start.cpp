#include "host/common/chat_host_start.h"

#include <chrono>
#include <filesystem>

#include "host/common/log.h"

namespace deckhand::host {

std::optional<CardSetReport> CheckCardSetsAtStart(const std::string& modes_file,
                                                  std::string* error) {
  std::error_code failure;
  if (!std::filesystem::is_regular_file(modes_file, failure)) {
    *error = "no mode table " + modes_file + " in " + std::filesystem::current_path().string() +
             " (set data_dir or modes)";
    return std::nullopt;
  }
  CardSetReport report = CheckCardSets(modes_file);
  for (const CardSetProblem& problem : report.problems) {
    Log(LogLevel::kWarning, "card sets: " + problem.file +
                                (problem.line > 0 ? ":" + std::to_string(problem.line) : "") +
                                ": " + problem.text);
  }
  if (report.modes.empty()) {
    *error = "the mode table " + modes_file + " holds no mode";
    return std::nullopt;
  }
  return report;
}

std::vector<std::string> ModeNames(const CardSetReport& report) {
  std::vector<std::string> modes;
  for (const CardSetMode& mode : report.modes) modes.push_back(mode.mode);
  return modes;
}

std::int64_t SecondsSince1970() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace deckhand::host
