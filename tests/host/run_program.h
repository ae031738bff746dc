// Runs a program to its end as a shell would, with given arguments, standard input and extra
// environment variables, and collects what it printed and its exit status.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace deckhand::testing {

struct ProgramRun {
  int exit_status = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

struct ProgramInput {
  std::vector<std::string> arguments;  // after the program's own name
  std::string standard_input;
  std::vector<std::pair<std::string, std::string>> environment;  // set on top of ours
  bool input_is_terminal = false;  // give standard input a pseudo-terminal instead of a file
};

// Runs `program` in the current directory and waits for it.
ProgramRun RunProgram(const std::string& program, const ProgramInput& input);

}  // namespace deckhand::testing
