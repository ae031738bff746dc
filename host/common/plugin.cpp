#include "host/common/plugin.h"

#include <filesystem>

#include "host/common/ascii.h"

namespace deckhand::host {

std::optional<std::size_t> FindExport(std::string_view word) {
  for (std::size_t i = 0; i < kExportNames.size(); ++i) {
    if (EqualIgnoringCase(word, kExportNames[i])) return i;
  }
  return std::nullopt;
}

std::optional<Plugin> LoadPlugin(const std::string& path, std::string* error) {
  std::string reason;
  void* library = OpenSharedLibrary(path, &reason);
  if (library == nullptr) {
    *error = "cannot load the library " + path + ": " + reason;
    return std::nullopt;
  }
  Plugin plugin{path, {}};
  for (std::size_t i = 0; i < kExportNames.size(); ++i) {
    std::string name(kExportNames[i]);
    plugin.exports[i] = FindCommand(library, name.c_str());
    if (plugin.exports[i] == nullptr) {
      *error = "the library " + path + " does not export " + name;
      return std::nullopt;
    }
  }
  return plugin;
}

std::vector<std::string> PluginCandidates() {
  std::vector<std::string> candidates;
  std::filesystem::path program_directory = ExecutableDirectory();
  if (!program_directory.empty()) {
    // The install rules put the library in this directory relative to the program's.
    candidates.push_back((program_directory / DECKHAND_INSTALLED_LIBRARY_DIR / kPluginFileName)
                             .lexically_normal()
                             .string());
    candidates.push_back((program_directory / kPluginFileName).string());
  }
  candidates.push_back(DECKHAND_BUILD_TREE_PLUGIN);
  return candidates;
}

std::optional<std::string> FindDefaultPlugin(std::string* error) {
  std::vector<std::string> candidates = PluginCandidates();
  for (const std::string& candidate : candidates) {
    std::error_code ignored;
    if (std::filesystem::is_regular_file(candidate, ignored)) return candidate;
  }
  *error = "cannot find the library; looked for";
  for (const std::string& candidate : candidates) *error += "\n  " + candidate;
  *error += "\nname it with --plugin=PATH";
  return std::nullopt;
}

}  // namespace deckhand::host
