// Loading the library with dlopen, as bots on POSIX systems do.
#include <dlfcn.h>

#include <filesystem>

#include "host/common/plugin.h"

namespace deckhand::host {

// The versioned name (libdeckhand.so.1): the unversioned link is only there to build against.
const char* const kPluginFileName = DECKHAND_PLUGIN_FILE_NAME;

void* OpenSharedLibrary(const std::string& path, std::string* error) {
  // RTLD_NOW finds a missing symbol of the library at load time, not in the middle of a game.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : "unknown reason";
    // dlerror names the file first; the caller names it already.
    if (error->rfind(path + ": ", 0) == 0) error->erase(0, path.size() + 2);
  }
  return library;
}

DeckhandCommand FindCommand(void* library, const char* name) {
  return reinterpret_cast<DeckhandCommand>(dlsym(library, name));
}

std::string ExecutableDirectory() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : program.parent_path().string();
}

}  // namespace deckhand::host
