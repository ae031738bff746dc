#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "irc/server/child_process.h"

extern char** environ;

namespace deckhand::irc::testing {
namespace {

constexpr std::chrono::milliseconds kPollInterval(20);

std::vector<char*> PointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

int ExitStatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Start(const std::vector<std::string>& arguments,
                         const std::filesystem::path& log, const std::filesystem::path& directory) {
  int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (out < 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out, STDERR_FILENO);
  posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  std::vector<std::string> copy = arguments;
  std::vector<char*> argv = PointersTo(copy);
  pid_t child = -1;
  int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out);
  if (failed != 0) return false;
  pid_ = child;
  return true;
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return std::nullopt;
  auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    int status = 0;
    pid_t ended = waitpid(pid_, &status, WNOHANG);
    if (ended == pid_ || ended < 0) {
      pid_ = -1;
      return ended < 0 ? -1 : ExitStatusOf(status);
    }
    std::this_thread::sleep_for(kPollInterval);
  } while (std::chrono::steady_clock::now() < deadline);
  return std::nullopt;
}

void ChildProcess::Signal(int signal_number) const {
  if (pid_ > 0) kill(pid_, signal_number);
}

std::optional<int> ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return std::nullopt;
  Signal(SIGTERM);
  if (std::optional<int> status = WaitFor(grace)) return status;
  Signal(SIGKILL);
  WaitFor(seconds(10));
  return std::nullopt;
}

std::optional<int> RunToEnd(const std::vector<std::string>& arguments,
                            const std::filesystem::path& log, std::chrono::milliseconds limit) {
  ChildProcess child;
  if (!child.Start(arguments, log, std::filesystem::current_path())) return std::nullopt;
  std::optional<int> status = child.WaitFor(limit);
  if (!status) child.Stop(seconds(1));
  return status;
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool WaitForText(const std::filesystem::path& file, const std::string& text,
                 std::chrono::milliseconds limit, std::size_t from) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    std::string content = ReadFile(file);
    if (content.size() > from && content.find(text, from) != std::string::npos) return true;
    std::this_thread::sleep_for(kPollInterval);
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace deckhand::irc::testing
