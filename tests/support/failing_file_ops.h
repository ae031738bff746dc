// A stand-in for the platform's file operations that makes one chosen call fail, for tests of
// what the library does when the disk lets it down. Every other call goes to the platform, so
// the files a test looks at afterwards are real.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "storage/file_ops.h"

namespace deckhand::testing {

enum class FileOp {
  kReadWhole,
  kCreateTempBeside,
  kWrite,
  kFlush,
  kClose,
  kRename,
  kRemove,
  kLock
};
inline constexpr std::size_t kFileOpCount = 8;

enum class Fault {
  kFail,              // the call reports failure the way the platform would
  kThrowOutOfMemory,  // the call throws std::bad_alloc before doing anything
};

std::string_view FileOpName(FileOp op);

class FailingFileOps final : public FileOps {
 public:
  // Passes every call to the platform and only counts them.
  FailingFileOps() = default;
  // Makes the `nth` call of `op` (counted from 1) fail as `fault` says:
  //  - ReadWhole reads as unreadable; CreateTempBeside creates nothing; Lock is not had;
  //  - Write writes the first half of the bytes and then fails, like a full disk;
  //  - Flush fails; Close closes the file and then reports failure; Rename moves nothing;
  //  - Remove removes nothing.
  FailingFileOps(FileOp op, int nth, Fault fault = Fault::kFail);

  // Real lock waits are cut to `wait`, so a test of a busy lock need not wait the full time.
  void LimitLockWait(std::chrono::milliseconds wait) { lock_wait_limit_ = wait; }

  int Calls(FileOp op) const { return calls_[static_cast<std::size_t>(op)]; }
  // True once the chosen call has been made (and failed).
  bool Fired() const { return fired_; }

  FileContent ReadWhole(const std::string& path, Links links) override;
  std::optional<TempFile> CreateTempBeside(const std::string& target) override;
  bool Write(TempFile& file, std::string_view bytes) override;
  bool Flush(TempFile& file) override;
  bool Close(TempFile& file) override;
  bool Rename(const std::string& from, const std::string& to) override;
  void Remove(const std::string& path) override;
  std::optional<FileLock> Lock(const std::string& lock_path,
                               std::chrono::milliseconds wait) override;
  void Unlock(FileLock& lock) override;

 private:
  // Counts the call; true when this is the one to fail (after throwing, for kThrowOutOfMemory).
  bool ShouldFail(FileOp op);

  std::optional<FileOp> op_;
  int nth_ = 0;
  Fault fault_ = Fault::kFail;
  bool fired_ = false;
  std::array<int, kFileOpCount> calls_{};
  std::optional<std::chrono::milliseconds> lock_wait_limit_;
};

}  // namespace deckhand::testing
