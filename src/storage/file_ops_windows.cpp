// File operations on Windows. Paths are byte strings in the host's ANSI code page, as the current
// directory and the command line give them; they reach the platform's wide functions through
// WidePath, so that a deep directory works too.
#include <windows.h>

#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "storage/file_ops.h"
#include "storage/wide_path_windows.h"

namespace deckhand {
namespace {

// Attributes that a replaced file keeps. A read-only file is not replaced at all: its owner asked
// for it to stay as it is (the check is ours, since not every file system enforces it on a move).
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// How often a replace is tried again while another program (a virus scanner, a backup tool,
// an editor, a reader in this process) holds the old file open, and the pause before each new
// try, which grows by the same step each time: about a second in all before a save gives up.
constexpr int kReplaceAttempts = 10;
constexpr DWORD kReplacePauseStepMs = 25;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool MeansAbsent(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
      return true;
    default:
      return false;
  }
}

// Reads straight into the result, as on POSIX systems: a save file of many targets runs to
// megabytes, and a copy through a buffer would cost as much again as the read itself.
bool ReadAll(HANDLE file, FileBytes& bytes) {
  LARGE_INTEGER size;
  std::size_t expected = 0;
  if (::GetFileSizeEx(file, &size) && size.QuadPart > 0) {
    if (static_cast<std::uint64_t>(size.QuadPart) > kMostFileBytes) return false;
    expected = static_cast<std::size_t>(size.QuadPart);
  }
  // One byte more than the size: the read that finds the end then needs no bigger buffer.
  bytes.resize(expected + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled > kMostFileBytes) return false;                   // it has grown past what is read
    if (filled == bytes.size()) bytes.resize(bytes.size() * 2);  // the file has grown
    std::size_t room = bytes.size() - filled;
    DWORD chunk = room > (1u << 30) ? (1u << 30) : static_cast<DWORD>(room);
    DWORD got = 0;
    if (!::ReadFile(file, bytes.data() + filled, chunk, &got, nullptr)) return false;
    if (got == 0) break;
    filled += got;
  }
  bytes.resize(filled);
  return true;
}

// Gives the new file the old one's access rights (its DACL), as replacing the old file in place
// would keep them; else the new file gets the directory's defaults. Best effort: a file system
// without access rights, or rights we may not read, leaves the defaults.
void CopyAccessRights(const std::wstring& from, const std::wstring& to) {
  DWORD needed = 0;
  ::GetFileSecurityW(from.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  if (needed == 0) return;
  std::vector<unsigned char> descriptor;
  try {
    descriptor.resize(needed);
  } catch (const std::bad_alloc&) {
    return;  // the new file is open already: keep the defaults rather than leave it behind
  }
  if (::GetFileSecurityW(from.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed,
                         &needed)) {
    ::SetFileSecurityW(to.c_str(), DACL_SECURITY_INFORMATION, descriptor.data());
  }
}

// A file on a disk, and no link when links are refused (it was opened as itself then).
bool IsReadableFile(HANDLE file, Links links) {
  if (::GetFileType(file) != FILE_TYPE_DISK) return false;
  if (links == Links::kFollow) return true;
  BY_HANDLE_FILE_INFORMATION information;
  return ::GetFileInformationByHandle(file, &information) &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

enum class MoveOutcome { kDone, kBusy, kFailed };

// Another handle on the file stands in the way, which its holder will soon close.
bool MeansBusy(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:  // the old file is open, even when its opener shares deletion
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return true;
    default:
      return false;
  }
}

// One try at moving `source` over `target` in one step. (ReplaceFileW is not used: it is not one
// step, as it may move the old file aside first, so that for a moment there is no save file, and
// some of its failures leave the old file gone or under another name.)
MoveOutcome Move(const std::wstring& source, const std::wstring& target) {
  if (::MoveFileExW(source.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return MoveOutcome::kDone;
  }
  return MeansBusy(::GetLastError()) ? MoveOutcome::kBusy : MoveOutcome::kFailed;
}

class WindowsFileOps final : public FileOps {
 public:
  FileContent ReadWhole(const std::string& path, Links links) override {
    FileContent content;
    // A link refused is opened as itself and then found to be one (IsReadableFile).
    DWORD flags =
        FILE_FLAG_SEQUENTIAL_SCAN | (links == Links::kRefuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      // A directory fails here with "access denied": it exists, so it is unreadable.
      content.outcome =
          MeansAbsent(::GetLastError()) ? ReadOutcome::kAbsent : ReadOutcome::kUnreadable;
      return content;
    }
    // Only disk files: a name such as CON would open the console and wait for input forever.
    bool read = IsReadableFile(file, links) && ReadAll(file, content.bytes);
    ::CloseHandle(file);
    content.outcome = read ? ReadOutcome::kRead : ReadOutcome::kUnreadable;
    if (!read) content.bytes.clear();
    return content;
  }

  std::optional<TempFile> CreateTempBeside(const std::string& target) override {
    DWORD existing = ::GetFileAttributesW(WidePath(target).c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) != 0) {
      return std::nullopt;
    }
    // A link lends the new file nothing: its rights would be those of whatever it points at.
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      existing = INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = existing == INVALID_FILE_ATTRIBUTES ? 0 : existing & kKeptAttributes;
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    // The target's own name with a suffix: the same directory, whatever bytes the name holds
    // (no need to find its last '\\', which in Shift_JIS can be the second byte of a character).
    std::string prefix = target + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string path = prefix + std::to_string(::GetCurrentProcessId()) + "." +
                         std::to_string(counter_.fetch_add(1)) + ".tmp";
      // Shared like every handle the library opens, so that a scanner looking at the new file
      // does not make our own replace wait.
      HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, attributes, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        if (existing != INVALID_FILE_ATTRIBUTES) CopyAccessRights(WidePath(target), WidePath(path));
        return TempFile{path, reinterpret_cast<std::intptr_t>(file)};
      }
      DWORD error = ::GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return std::nullopt;
    }
    return std::nullopt;
  }

  bool Write(TempFile& file, std::string_view bytes) override {
    while (!bytes.empty()) {
      DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
      DWORD written = 0;
      if (!::WriteFile(AsHandle(file.handle), bytes.data(), chunk, &written, nullptr) ||
          written == 0) {
        return false;
      }
      bytes.remove_prefix(written);
    }
    return true;
  }

  bool Flush(TempFile& file) override { return ::FlushFileBuffers(AsHandle(file.handle)) != 0; }

  bool Close(TempFile& file) override {
    HANDLE handle = AsHandle(file.handle);
    file.handle = -1;
    return handle != INVALID_HANDLE_VALUE && ::CloseHandle(handle) != 0;
  }

  bool Rename(const std::string& from, const std::string& to) override {
    std::wstring source = WidePath(from);
    std::wstring target = WidePath(to);
    for (int attempt = 1;; ++attempt) {
      MoveOutcome outcome = Move(source, target);
      if (outcome == MoveOutcome::kDone) return true;
      if (outcome == MoveOutcome::kFailed || attempt == kReplaceAttempts) return false;
      ::Sleep(kReplacePauseStepMs * static_cast<DWORD>(attempt));
    }
  }

  void Remove(const std::string& path) override { ::DeleteFileW(WidePath(path).c_str()); }

 private:
  std::atomic<unsigned> counter_{0};
};

}  // namespace

FileOps& PlatformFileOps() {
  // Built in place once and never destroyed, so that no destructor of the library's is left to
  // run when a host unloads it.
  alignas(WindowsFileOps) static unsigned char storage[sizeof(WindowsFileOps)];
  static FileOps* const ops = new (storage) WindowsFileOps();
  return *ops;
}

}  // namespace deckhand
