// Whether a person sits at the other end of standard input, and how standard output carries bytes.
#pragma once

namespace deckhand::host {

// True when standard input is a terminal, so that deckhand prompts and says when a command
// has no reply. One file per platform.
bool StandardInputIsTerminal();

// Makes standard output carry bytes unchanged: a converted file goes out with its own line ends,
// not with CR added before every LF.
void MakeStandardOutputBinary();

}  // namespace deckhand::host
