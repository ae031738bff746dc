// Lock files on Windows: LockFileEx on the first byte of the lock file. The file is opened with
// every sharing mode so that waiting callers can open it while it is locked.
#include <windows.h>

#include "storage/file_lock.h"
#include "storage/wide_path_windows.h"

namespace deckhand {
namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A link (any reparse point) in the lock file's place is opened as itself, never followed, and
// then refused, as is anything but a file on a disk.
constexpr DWORD kLockOpenFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

bool IsPlainDiskFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  return ::GetFileType(file) == FILE_TYPE_DISK &&
         ::GetFileInformationByHandle(file, &information) &&
         (information.dwFileAttributes &
          (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

}  // namespace

std::optional<std::intptr_t> OpenLockFile(const std::string& path) {
  // Through the wide functions, as every other file of the library, so deep directories work.
  std::wstring wide = WidePath(path);
  HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, kLockOpenFlags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // A read-only lock file can still be locked through a reading handle.
    file = ::CreateFileW(wide.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, kLockOpenFlags, nullptr);
  }
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  if (!IsPlainDiskFile(file)) {
    ::CloseHandle(file);
    return std::nullopt;
  }
  return reinterpret_cast<std::intptr_t>(file);
}

bool LockFileExists(const std::string& path) {
  return ::GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A file that anyone has open cannot be replaced here until they close it, so readers hold the
// lock while they read and saves never meet them.
bool ReadersTakeTheLock() { return true; }

LockAttempt TryLockExclusive(std::intptr_t handle) {
  OVERLAPPED first_byte = {};
  if (::LockFileEx(AsHandle(handle), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &first_byte)) {
    return LockAttempt::kTaken;
  }
  return ::GetLastError() == ERROR_LOCK_VIOLATION ? LockAttempt::kBusy : LockAttempt::kFailed;
}

void CloseLockFile(std::intptr_t handle) {
  OVERLAPPED first_byte = {};
  ::UnlockFileEx(AsHandle(handle), 0, 1, 0, &first_byte);
  ::CloseHandle(AsHandle(handle));
}

void PauseMilliseconds(int milliseconds) { ::Sleep(static_cast<DWORD>(milliseconds)); }

std::uintptr_t CurrentThreadNumber() { return ::GetCurrentThreadId(); }

}  // namespace deckhand
