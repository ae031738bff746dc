// The platform's part of keeping the save file in order: honouring the owner's read-only mark,
// and clearing away temporary files that killed saves left. Per platform.
#pragma once

#include <string>

namespace deckhand {

// True when the file at `path` exists and carries the platform's read-only mark (no write
// permission bit for anyone on POSIX, the read-only attribute on Windows).
bool IsFileMarkedReadOnly(const std::string& path);

// Removes, from the directory of `target`, the files named as the platform's CreateTempBeside
// names the temporary files of `target`'s replaces; other files, however alike, stay.
void RemoveStaleTemporaryFiles(const std::string& target);

}  // namespace deckhand
