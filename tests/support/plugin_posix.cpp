// Loads the library with dlopen, as a host on POSIX systems does.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/plugin.h"

namespace deckhand::testing {
namespace {

DeckhandCommand Resolve(void* library, const char* name) {
  void* symbol = ::dlsym(library, name);
  if (symbol == nullptr) {
    ADD_FAILURE() << "the library does not export " << name;
    std::abort();
  }
  return reinterpret_cast<DeckhandCommand>(symbol);
}

Plugin Load() {
  void* library = ::dlopen(DECKHAND_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    ADD_FAILURE() << "cannot load " << DECKHAND_PLUGIN_PATH << ": " << ::dlerror();
    std::abort();
  }
  return Plugin{Resolve(library, "Deck"), Resolve(library, "Draw"), Resolve(library, "Count"),
                Resolve(library, "Check"), Resolve(library, "Shuffle")};
}

}  // namespace

const Plugin& LoadedPlugin() {
  static const Plugin plugin = Load();
  return plugin;
}

}  // namespace deckhand::testing
