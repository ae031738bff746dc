// Whether a person sits at the other end of standard input.
#pragma once

namespace deckhand::host {

// True when standard input is a terminal, so that deckhand prompts and says when a command
// has no reply. One file per platform.
bool StandardInputIsTerminal();

}  // namespace deckhand::host
