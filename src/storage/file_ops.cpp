#include "storage/file_ops.h"

#include <algorithm>
#include <cstring>

#include "storage/file_lock.h"
#include "storage/file_upkeep.h"

namespace deckhand {
namespace {

FileOps* active_ops = nullptr;

// Pauses between attempts at a busy lock start short, since a save takes milliseconds, and grow
// so that a long wait does not spin.
constexpr int kFirstLockPause = 1;
constexpr int kLongestLockPause = 16;

}  // namespace

void FileBytes::reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  std::unique_ptr<char[]> larger(new char[capacity]);
  if (size_ != 0) std::memcpy(larger.get(), data_.get(), size_);
  data_ = std::move(larger);
  capacity_ = capacity;
}

void FileBytes::resize(std::size_t size) {
  if (size > capacity_) reserve(std::max(size, 2 * capacity_));
  size_ = size;
}

void FileBytes::append(const char* bytes, std::size_t count) {
  std::size_t at = size_;
  resize(size_ + count);
  if (count != 0) std::memcpy(data_.get() + at, bytes, count);
}

std::optional<FileLock> FileOps::Lock(const std::string& lock_path,
                                      std::chrono::milliseconds wait) {
  std::optional<std::intptr_t> handle = OpenLockFile(lock_path);
  if (!handle) return std::nullopt;
  auto deadline = std::chrono::steady_clock::now() + wait;
  int pause = kFirstLockPause;
  for (;;) {
    LockAttempt attempt = TryLockExclusive(*handle);
    if (attempt == LockAttempt::kTaken) return FileLock{*handle};
    if (attempt == LockAttempt::kFailed || std::chrono::steady_clock::now() >= deadline) break;
    PauseMilliseconds(pause);
    pause = std::min(pause * 2, kLongestLockPause);
  }
  CloseLockFile(*handle);
  return std::nullopt;
}

void FileOps::Unlock(FileLock& lock) {
  if (lock.handle == -1) return;
  CloseLockFile(lock.handle);
  lock.handle = -1;
}

ReadOutcome FileOps::ReadInPieces(const std::string& path, Links links,
                                  const std::function<bool(std::string_view)>& take) {
  FileContent content = ReadWhole(path, links);
  if (content.outcome == ReadOutcome::kRead) take(content.bytes);
  return content.outcome;
}

bool FileOps::IsMarkedReadOnly(const std::string& path) { return IsFileMarkedReadOnly(path); }

void FileOps::RemoveStaleTemporaries(const std::string& target) {
  RemoveStaleTemporaryFiles(target);
}

FileOps& ActiveFileOps() { return active_ops != nullptr ? *active_ops : PlatformFileOps(); }

ScopedFileOps::ScopedFileOps(FileOps& ops) : previous_(active_ops) { active_ops = &ops; }

ScopedFileOps::~ScopedFileOps() { active_ops = previous_; }

namespace {

// Closes and removes a temporary file on every way out of a replace that did not rename it,
// exceptions (out of memory) included, so that no descriptor and no stray file is left.
class TempFileCleanup {
 public:
  TempFileCleanup(FileOps& ops, TempFile& file) : ops_(ops), file_(file) {}
  TempFileCleanup(const TempFileCleanup&) = delete;
  TempFileCleanup& operator=(const TempFileCleanup&) = delete;
  ~TempFileCleanup() {
    if (renamed_) return;
    try {
      if (file_.handle != -1) ops_.Close(file_);
      ops_.Remove(file_.path);
    } catch (...) {
      // Cleaning up is best effort; the old file is untouched either way.
    }
  }
  void Renamed() { renamed_ = true; }

 private:
  FileOps& ops_;
  TempFile& file_;
  bool renamed_ = false;
};

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  return ReplaceFileAtomically(path, {bytes});
}

bool ReplaceFileAtomically(const std::string& path,
                           std::initializer_list<std::string_view> pieces) {
  FileOps& ops = ActiveFileOps();
  // The owner's mark holds everywhere: on POSIX a rename needs only the directory's permission.
  if (ops.IsMarkedReadOnly(path)) return false;
  std::optional<TempFile> temp = ops.CreateTempBeside(path);
  if (!temp) return false;
  TempFileCleanup cleanup(ops, *temp);
  bool written = true;
  for (std::string_view piece : pieces) {
    if (!piece.empty()) written = written && ops.Write(*temp, piece);
  }
  written = written && ops.Flush(*temp);
  bool closed = ops.Close(*temp);
  if (!written || !closed || !ops.Rename(temp->path, path)) return false;
  cleanup.Renamed();
  return true;
}

}  // namespace deckhand
