// The library as a chat bot uses it: loaded at run time from a file and its five exports looked
// up by name, so that deckhand goes through the same binary boundary as a bot does and is
// never linked to the library.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deckhand/deckhand.h"

namespace deckhand::host {

// The exports, in the order of Plugin::exports.
inline constexpr std::array<std::string_view, 5> kExportNames = {"Deck", "Draw", "Count", "Check",
                                                                 "Shuffle"};

struct Plugin {
  std::string path;
  std::array<DeckhandCommand, kExportNames.size()> exports{};
};

// The index of the export that `word` names, in any letter case ("draw", "DRAW" and "Draw"
// name Draw); nullopt for any other word.
std::optional<std::size_t> FindExport(std::string_view word);

// Loads the library at `path` and resolves all five exports. nullopt and `error` filled when the
// file cannot be loaded (with the platform's reason) or lacks an export.
std::optional<Plugin> LoadPlugin(const std::string& path, std::string* error);

// Where deckhand looks for the library when no --plugin is given, in order: installed beside
// the program (../lib, then its own directory), then the build tree it was built in.
std::vector<std::string> PluginCandidates();

// The first candidate that exists; nullopt and `error` (naming every place tried) when none does.
std::optional<std::string> FindDefaultPlugin(std::string* error);

// The platform side, one file per platform.

// The library's file name on this platform.
extern const char* const kPluginFileName;

// Loads a shared library for the rest of the process; nullptr and the platform's message in
// `error` when it cannot.
void* OpenSharedLibrary(const std::string& path, std::string* error);

// The address of an exported function, or nullptr.
DeckhandCommand FindCommand(void* library, const char* name);

// The directory of the running program, with symbolic links resolved; empty when unknown.
std::string ExecutableDirectory();

}  // namespace deckhand::host
