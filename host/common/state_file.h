// The bots' own small files in the data directory (deck owners and private decks, the players
// followed across nick changes): one record a line, fields apart by spaces, every field written
// so that any nick, channel or account fits, and each write a new file renamed over the old one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::host {

// A field with every byte outside printable ASCII, and '%', as %XX; "%" alone for the empty one.
std::string EscapeField(std::string_view field);
// The field back; nullopt for one that is not in that form.
std::optional<std::string> UnescapeField(std::string_view field);

// Each line's fields, unescaped; blank lines, "#" comments and lines with a field that does not
// unescape are left out.
using StateRecord = std::vector<std::string>;

// The records of the file at `path`: none for a missing file; nullopt and `error` for one that is
// not a regular file of at most 16 MiB, or cannot be read.
std::optional<std::vector<StateRecord>> ReadStateFile(const std::string& path, std::string* error);

// Writes `text` as a new file, never through a link planted in its place, renamed over `path`.
bool WriteStateFile(const std::string& path, std::string_view text);

}  // namespace deckhand::host
