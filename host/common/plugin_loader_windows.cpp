// Loading the library with LoadLibrary, as bots on Windows do.
#include <windows.h>

#include <filesystem>

#include "host/common/plugin.h"

namespace deckhand::host {
namespace {

std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message;
}

}  // namespace

const char* const kPluginFileName = "deckhand.dll";

void* OpenSharedLibrary(const std::string& path, std::string* error) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr) *error = SystemMessage(GetLastError());
  return reinterpret_cast<void*>(library);
}

DeckhandCommand FindCommand(void* library, const char* name) {
  FARPROC address = GetProcAddress(static_cast<HMODULE>(library), name);
  return reinterpret_cast<DeckhandCommand>(reinterpret_cast<void*>(address));
}

std::string ExecutableDirectory() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return {};
  return std::filesystem::path(std::string(path, length)).parent_path().string();
}

}  // namespace deckhand::host
