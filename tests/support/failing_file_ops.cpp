#include "support/failing_file_ops.h"

#include <algorithm>
#include <new>

namespace deckhand::testing {

std::string_view FileOpName(FileOp op) {
  static constexpr std::array<std::string_view, kFileOpCount> kNames = {
      "ReadWhole", "CreateTempBeside", "Write", "Flush", "Close", "Rename", "Remove", "Lock"};
  return kNames[static_cast<std::size_t>(op)];
}

FailingFileOps::FailingFileOps(FileOp op, int nth, Fault fault)
    : op_(op), nth_(nth), fault_(fault) {}

bool FailingFileOps::ShouldFail(FileOp op) {
  int call = ++calls_[static_cast<std::size_t>(op)];
  if (!op_ || *op_ != op || call != nth_) return false;
  fired_ = true;
  if (fault_ == Fault::kThrowOutOfMemory) throw std::bad_alloc();
  return true;
}

FileContent FailingFileOps::ReadWhole(const std::string& path, Links links) {
  if (ShouldFail(FileOp::kReadWhole)) return FileContent{ReadOutcome::kUnreadable, {}};
  return PlatformFileOps().ReadWhole(path, links);
}

std::optional<TempFile> FailingFileOps::CreateTempBeside(const std::string& target) {
  if (ShouldFail(FileOp::kCreateTempBeside)) return std::nullopt;
  return PlatformFileOps().CreateTempBeside(target);
}

bool FailingFileOps::Write(TempFile& file, std::string_view bytes) {
  if (ShouldFail(FileOp::kWrite)) {
    PlatformFileOps().Write(file, bytes.substr(0, bytes.size() / 2));
    return false;
  }
  return PlatformFileOps().Write(file, bytes);
}

bool FailingFileOps::Flush(TempFile& file) {
  if (ShouldFail(FileOp::kFlush)) return false;
  return PlatformFileOps().Flush(file);
}

bool FailingFileOps::Close(TempFile& file) {
  if (ShouldFail(FileOp::kClose)) {
    PlatformFileOps().Close(file);
    return false;
  }
  return PlatformFileOps().Close(file);
}

bool FailingFileOps::Rename(const std::string& from, const std::string& to) {
  if (ShouldFail(FileOp::kRename)) return false;
  return PlatformFileOps().Rename(from, to);
}

void FailingFileOps::Remove(const std::string& path) {
  if (ShouldFail(FileOp::kRemove)) return;
  PlatformFileOps().Remove(path);
}

std::optional<FileLock> FailingFileOps::Lock(const std::string& lock_path,
                                             std::chrono::milliseconds wait) {
  if (ShouldFail(FileOp::kLock)) return std::nullopt;
  if (lock_wait_limit_) wait = std::min(wait, *lock_wait_limit_);
  return PlatformFileOps().Lock(lock_path, wait);
}

void FailingFileOps::Unlock(FileLock& lock) { PlatformFileOps().Unlock(lock); }

}  // namespace deckhand::testing
