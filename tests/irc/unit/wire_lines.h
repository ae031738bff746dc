// What an IRC layer asked to send after an event, for the layers' tests.
#pragma once

#include <string>
#include <vector>

#include "host/irc/wire_output.h"

namespace deckhand::irc::testing {

// The lines written at once, then those paced, in the order the layer gave them.
inline std::vector<std::string> SentLines(const WireOutput& out) {
  std::vector<std::string> lines = out.urgent;
  lines.insert(lines.end(), out.paced.begin(), out.paced.end());
  return lines;
}

}  // namespace deckhand::irc::testing
