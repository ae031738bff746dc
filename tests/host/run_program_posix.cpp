#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/run_program.h"

extern char** environ;

namespace deckhand::testing {
namespace {

// Standard streams go through unnamed temporary files: no pipe can fill up and stall the run.
std::FILE* TemporaryFileHolding(const std::string& bytes) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return nullptr;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  return file;
}

std::string ReadAll(std::FILE* file) {
  std::rewind(file);
  std::string bytes;
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  return bytes;
}

std::vector<std::string> EnvironmentWith(const ProgramInput& input) {
  std::vector<std::string> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    std::string entry = *variable;
    bool replaced = false;
    for (const auto& [name, value] : input.environment) {
      replaced |= entry.rfind(name + "=", 0) == 0;
    }
    if (!replaced) variables.push_back(entry);
  }
  for (const auto& [name, value] : input.environment) variables.push_back(name + "=" + value);
  return variables;
}

std::vector<char*> PointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

// A pseudo-terminal whose far end holds the typed input followed by an end of input (Ctrl-D at
// the start of a line). Returns the near end for the program, or -1.
int TerminalHolding(const std::string& typed, int& far_end) {
  far_end = posix_openpt(O_RDWR | O_NOCTTY);
  if (far_end < 0 || grantpt(far_end) != 0 || unlockpt(far_end) != 0) return -1;
  int near_end = open(ptsname(far_end), O_RDWR | O_NOCTTY);
  std::string keys = typed + "\x04";
  if (write(far_end, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) return -1;
  return near_end;
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const ProgramInput& input) {
  ProgramRun run;
  std::FILE* in = TemporaryFileHolding(input.standard_input);
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  int terminal_far_end = -1;
  int input_descriptor = -1;
  if (input.input_is_terminal) {
    input_descriptor = TerminalHolding(input.standard_input, terminal_far_end);
  } else if (in != nullptr) {
    input_descriptor = fileno(in);
  }
  if (input_descriptor < 0 || out == nullptr || err == nullptr) {
    ADD_FAILURE() << "cannot set up the standard streams of " << program;
    return run;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input_descriptor, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fileno(out), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fileno(err), STDERR_FILENO);

  std::vector<std::string> arguments{program};
  arguments.insert(arguments.end(), input.arguments.begin(), input.arguments.end());
  std::vector<std::string> environment = EnvironmentWith(input);
  std::vector<char*> argv = PointersTo(arguments);
  std::vector<char*> envp = PointersTo(environment);

  pid_t child = 0;
  int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot run " << program << ": " << std::strerror(spawned);
  } else {
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
    run.out = ReadAll(out);
    run.err = ReadAll(err);
  }
  if (input.input_is_terminal) {
    close(input_descriptor);
    close(terminal_far_end);
  }
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  return run;
}

}  // namespace deckhand::testing
