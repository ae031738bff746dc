// The DLL entry point. The library keeps no per-thread state (no thread_local: with mingw-w64 its
// clean-up would run in the DLL when a thread ends, even after the host has unloaded it), so it
// asks the loader not to call it for every thread the host starts or ends; nothing else happens
// at attach or detach.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
