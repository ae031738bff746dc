// A program run beside the tests (ngircd, openssl, the bot): spawned with its output sent to a
// file, stopped with SIGTERM and, when it does not stop in time, SIGKILL. Every wait is bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace deckhand::irc::testing {

using std::chrono::seconds;

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Runs `arguments` (the first is the program's path), standard output and error appended to
  // `log`, in `directory`. False when it cannot be started.
  bool Start(const std::vector<std::string>& arguments, const std::filesystem::path& log,
             const std::filesystem::path& directory);
  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // The exit status once the program has ended within `limit`; nullopt if it still runs. A
  // program ended by a signal reports 128 + the signal's number, as shells do.
  std::optional<int> WaitFor(std::chrono::milliseconds limit);
  void Signal(int signal_number) const;
  // SIGTERM, then SIGKILL after `grace`. Returns the exit status.
  std::optional<int> Stop(std::chrono::milliseconds grace = seconds(10));

 private:
  pid_t pid_ = -1;
};

// Runs a short-lived program to its end (bounded by `limit`). Its exit status, or nullopt.
std::optional<int> RunToEnd(const std::vector<std::string>& arguments,
                            const std::filesystem::path& log,
                            std::chrono::milliseconds limit = seconds(60));

// The whole file, or an empty string.
std::string ReadFile(const std::filesystem::path& file);

// Polls `file` until it holds `text` or `limit` passes. True when it does.
bool WaitForText(const std::filesystem::path& file, const std::string& text,
                 std::chrono::milliseconds limit = seconds(20), std::size_t from = 0);

}  // namespace deckhand::irc::testing
