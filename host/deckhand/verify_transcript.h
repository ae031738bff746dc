// deckhand --verify FILE: checks a game's transcript (docs/shuffles.md) as tools/verify-shuffle.py
// does: every seed against its commitment, every commitment published before its shuffle, every
// shuffle recomputed from its input, every card drawn, dealt or played the one the table held.
#pragma once

#include <istream>
#include <string>

namespace deckhand::host {

// "" when the transcript checks; else "line N: why" for the first line that fails.
std::string VerifyTranscript(std::istream& transcript);

}  // namespace deckhand::host
