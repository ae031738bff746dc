// Loads the DLL with LoadLibrary and finds the exports by name, as a Windows host does.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/plugin.h"

namespace deckhand::testing {
namespace {

DeckhandCommand Resolve(HMODULE library, const char* name) {
  FARPROC symbol = ::GetProcAddress(library, name);
  if (symbol == nullptr) {
    ADD_FAILURE() << "the DLL does not export " << name;
    std::abort();
  }
  return reinterpret_cast<DeckhandCommand>(reinterpret_cast<void*>(symbol));
}

// The DLL beside the test program, found by the program's own path: the tests change the
// current directory, so a bare name would depend on where they stand when the DLL is loaded.
std::string PluginPath() {
  char program[32768];
  DWORD length = ::GetModuleFileNameA(nullptr, program, sizeof program);
  std::string path(program, length);
  std::size_t slash = path.find_last_of("\\/");
  std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return directory + DECKHAND_PLUGIN_PATH;
}

Plugin Load() {
  std::string path = PluginPath();
  HMODULE library = ::LoadLibraryA(path.c_str());
  if (library == nullptr) {
    ADD_FAILURE() << "cannot load " << path << ": error " << ::GetLastError();
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
