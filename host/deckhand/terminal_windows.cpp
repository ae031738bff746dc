#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "host/deckhand/terminal.h"

namespace deckhand::host {

bool StandardInputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

void MakeStandardOutputBinary() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace deckhand::host
