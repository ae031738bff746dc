#include <io.h>

#include <cstdio>

#include "host/deckhand/terminal.h"

namespace deckhand::host {

bool StandardInputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

}  // namespace deckhand::host
