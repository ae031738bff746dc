// The few file operations the storage layer needs, behind one small interface so that tests
// can make any of them fail. Every other storage function reaches the disk through
// ActiveFileOps().
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace deckhand {

enum class ReadOutcome {
  kRead,        // the whole file is in `bytes`
  kAbsent,      // no such file
  kUnreadable,  // it exists but could not be read whole (a directory, no permission, I/O error)
};

// A file's bytes, used like a std::string of them, except that growing it leaves the new bytes
// unset: a read fills them at once, and zero-filling a save file of megabytes first would cost
// as much again as reading it.
class FileBytes {
 public:
  FileBytes() = default;
  FileBytes(std::string_view bytes) { append(bytes.data(), bytes.size()); }

  const char* data() const { return data_.get(); }
  char* data() { return data_.get(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  operator std::string_view() const { return std::string_view(data_.get(), size_); }
  friend bool operator==(const FileBytes& bytes, std::string_view other) {
    return std::string_view(bytes) == other;
  }

  // Makes room for `capacity` bytes in all without moving them again.
  void reserve(std::size_t capacity);
  // Bytes beyond the old size are unset until written through data().
  void resize(std::size_t size);
  void append(const char* bytes, std::size_t count);
  void clear() { size_ = 0; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Whether a read may reach a file through a symbolic link (or, on Windows, any reparse point).
enum class Links {
  // Files the user writes and the library only reads (mode tables, deck files): a card set
  // kept elsewhere and linked into the data directory is the user's own choice.
  kFollow,
  // Files the library writes (the save file): a link in its place is unreadable, so that no
  // other user of a shared directory can point a save at a file of theirs, or a read at one
  // they may not read.
  kRefuse,
};

// The largest data file read. No save file, mode table or deck file of a real game comes near
// it (10,000 channels of 52 cards save 5.6 MB); a larger one, such as an empty sparse file of
// gigabytes planted by another user, is taken as unreadable rather than let stall every command
// and take the host's memory.
inline constexpr std::uint64_t kMostFileBytes = std::uint64_t{256} << 20;

struct FileContent {
  ReadOutcome outcome = ReadOutcome::kAbsent;
  FileBytes bytes;
};

// A new file opened for writing; `handle` is the platform's descriptor or handle.
struct TempFile {
  std::string path;
  std::intptr_t handle = -1;
};

// An exclusive lock held on a lock file; `handle` is the platform's descriptor or handle of the
// open lock file. The lock is advisory: it keeps out only callers that take it too.
struct FileLock {
  std::intptr_t handle = -1;
};

class FileOps {
 public:
  virtual ~FileOps() = default;

  // Opens and reads the whole file. Only regular files of at most kMostFileBytes are read;
  // anything else (a directory, a named pipe, a device) is unreadable, and so is a link when
  // `links` refuses them.
  virtual FileContent ReadWhole(const std::string& path, Links links) = 0;
  // Reads the file as ReadWhole does, handing its bytes to `take` in pieces, in order, until the
  // end or until `take` returns false. A reader that wants one line of a file of megabytes then
  // looks at each piece while it is still in the processor's cache, and holds no copy of the
  // whole. The outcome is ReadWhole's (kRead also when `take` stopped early). ReadWhole, handing
  // the whole file over as one piece, is the default.
  virtual ReadOutcome ReadInPieces(const std::string& path, Links links,
                                   const std::function<bool(std::string_view)>& take);
  // Creates a new, empty file in the directory of `target`. It keeps the permission bits of
  // `target` (never set-uid, set-gid or sticky) when `target` is a regular file of the calling
  // user, and else gets the usual ones for a new file.
  virtual std::optional<TempFile> CreateTempBeside(const std::string& target) = 0;
  virtual bool Write(TempFile& file, std::string_view bytes) = 0;
  // Forces what was written to the disk.
  virtual bool Flush(TempFile& file) = 0;
  virtual bool Close(TempFile& file) = 0;
  // Moves `from` over `to`, replacing `to` in one step if it exists.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  virtual void Remove(const std::string& path) = 0;
  // Takes an exclusive lock on the file at `lock_path`, creating the file (readable and
  // writable by its owner alone) when needed, and waits at most `wait` for a holder in another
  // process or thread to let go. nullopt when the lock could not be had in that time or the
  // file cannot be opened: a link or anything but a regular file in its place is never opened.
  // The platform's lock is the default, so platform operations need not define it.
  virtual std::optional<FileLock> Lock(const std::string& lock_path,
                                       std::chrono::milliseconds wait);
  // Lets go of a lock that Lock gave.
  virtual void Unlock(FileLock& lock);
  // True when the file at `path` exists and its owner marked it read-only: no write permission
  // bit on POSIX, the read-only attribute on Windows. Such a file is never replaced, whoever the
  // caller is. The platform's answer (IsFileMarkedReadOnly) is the default.
  virtual bool IsMarkedReadOnly(const std::string& path);
  // Removes the temporary files that replaces of `target` left beside it when their process was
  // killed: those named as CreateTempBeside names them, and nothing else. Only for a caller that
  // holds the lock every replace of `target` holds, so that none of them is still being written.
  // The platform's removal (RemoveStaleTemporaryFiles) is the default.
  virtual void RemoveStaleTemporaries(const std::string& target);
};

// The operations in force: the platform's own unless a test has put others in place.
FileOps& ActiveFileOps();

// The platform's operations (defined in the per-platform file).
FileOps& PlatformFileOps();

// Puts `ops` in force until the returned object is destroyed. For tests.
class ScopedFileOps {
 public:
  explicit ScopedFileOps(FileOps& ops);
  ~ScopedFileOps();
  ScopedFileOps(const ScopedFileOps&) = delete;
  ScopedFileOps& operator=(const ScopedFileOps&) = delete;

 private:
  FileOps* previous_;
};

// Replaces the file at `path` with `bytes` so that a crash at any moment leaves either the old
// file or the new one: write a temporary file beside it, flush it, rename it over. On failure
// the old file is left as it was, the temporary file is removed, and false is returned. A file
// marked read-only is not replaced (false).
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

// The same for a new file made of `pieces` one after another, written in turn.
bool ReplaceFileAtomically(const std::string& path, std::initializer_list<std::string_view> pieces);

}  // namespace deckhand
