#include <unistd.h>

#include "host/deckhand/terminal.h"

namespace deckhand::host {

bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

void MakeStandardOutputBinary() {}  // bytes pass unchanged already

}  // namespace deckhand::host
