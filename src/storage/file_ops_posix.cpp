// File operations on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <new>
#include <string>

#include "storage/file_ops.h"

namespace deckhand {
namespace {

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes a rename durable: the directory entry itself must reach the disk.
void FlushDirectory(const std::string& directory) {
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

class PosixFileOps final : public FileOps {
 public:
  FileContent ReadWhole(const std::string& path, Links links) override {
    FileContent content;
    int fd = -1;
    std::size_t size = 0;
    content.outcome = OpenToRead(path, links, fd, size);
    if (content.outcome != ReadOutcome::kRead) return content;
    content.outcome =
        ReadAll(fd, size, content.bytes) ? ReadOutcome::kRead : ReadOutcome::kUnreadable;
    ::close(fd);
    if (content.outcome != ReadOutcome::kRead) content.bytes.clear();
    return content;
  }

  std::optional<TempFile> CreateTempBeside(const std::string& target) override {
    std::optional<mode_t> kept = KeptMode(target);
    mode_t mode = kept.value_or(0666);
    std::string prefix = DirectoryOf(target) + "/." + BaseNameOf(target) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string path = prefix + std::to_string(::getpid()) + "." +
                         std::to_string(counter_.fetch_add(1)) + ".tmp";
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
      if (fd >= 0) {
        // The umask may have narrowed the mode; an existing file's permissions are kept whole.
        if (kept) ::fchmod(fd, *kept);
        return TempFile{path, fd};
      }
      if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
  }

  bool Write(TempFile& file, std::string_view bytes) override {
    int fd = static_cast<int>(file.handle);
    while (!bytes.empty()) {
      ssize_t written = ::write(fd, bytes.data(), bytes.size());
      if (written < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
  }

  bool Flush(TempFile& file) override { return ::fsync(static_cast<int>(file.handle)) == 0; }

  bool Close(TempFile& file) override {
    int fd = static_cast<int>(file.handle);
    file.handle = -1;
    return fd >= 0 && ::close(fd) == 0;
  }

  bool Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    FlushDirectory(DirectoryOf(to));
    return true;
  }

  void Remove(const std::string& path) override { ::unlink(path.c_str()); }

  ReadOutcome ReadInPieces(const std::string& path, Links links,
                           const std::function<bool(std::string_view)>& take) override {
    int fd = -1;
    std::size_t size = 0;
    ReadOutcome outcome = OpenToRead(path, links, fd, size);
    if (outcome != ReadOutcome::kRead) return outcome;
    // Small enough to stay in the processor's cache between the read and the look at it.
    constexpr std::size_t kPiece = 128 * 1024;
    std::unique_ptr<char[]> piece(new char[kPiece]);
    std::uint64_t total = 0;
    for (;;) {
      ssize_t got = ::read(fd, piece.get(), kPiece);
      if (got < 0 && errno == EINTR) continue;
      total += got > 0 ? static_cast<std::uint64_t>(got) : 0;
      if (got < 0 || total > kMostFileBytes) outcome = ReadOutcome::kUnreadable;  // or it grew
      if (outcome != ReadOutcome::kRead || got == 0 ||
          !take(std::string_view(piece.get(), static_cast<std::size_t>(got)))) {
        break;
      }
    }
    ::close(fd);
    return outcome;
  }

 private:
  // Opens a regular file to read, and tells its size. Non-blocking, so that a named pipe in the
  // file's place cannot keep the open waiting for a writer (the flag changes nothing for a
  // regular file).
  static ReadOutcome OpenToRead(const std::string& path, Links links, int& fd, std::size_t& size) {
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (links == Links::kRefuse ? O_NOFOLLOW : 0);
    fd = ::open(path.c_str(), flags);
    if (fd < 0) {
      // A link refused is ELOOP: something is there, so it is unreadable, not absent.
      return (errno == ENOENT || errno == ENOTDIR) ? ReadOutcome::kAbsent
                                                   : ReadOutcome::kUnreadable;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > kMostFileBytes) {
      ::close(fd);
      return ReadOutcome::kUnreadable;
    }
    size = static_cast<std::size_t>(info.st_size);
    return ReadOutcome::kRead;
  }

  // The permission bits a replace of `target` keeps: those of a regular file of ours, and never
  // set-uid, set-gid or sticky. A link, another kind of file or another user's file lends none,
  // or a link to a set-uid program would make the new save file one, owned by us.
  static std::optional<mode_t> KeptMode(const std::string& target) {
    struct stat existing;
    if (::lstat(target.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode) ||
        existing.st_uid != ::geteuid()) {
      return std::nullopt;
    }
    return existing.st_mode & 0777;
  }

  // Reads straight into the result: a save file of many targets runs to megabytes, and a copy
  // through a buffer would cost as much again as the read itself.
  static bool ReadAll(int fd, std::size_t size, FileBytes& bytes) {
    // One byte more than the size: the read that finds the end then needs no bigger buffer for
    // the usual file, which has not grown since it was opened.
    bytes.resize(size + 1);
    std::size_t filled = 0;
    for (;;) {
      if (filled > kMostFileBytes) return false;                   // it has grown past what is read
      if (filled == bytes.size()) bytes.resize(bytes.size() * 2);  // the file has grown
      ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
      if (got < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (got == 0) break;
      filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return true;
  }

  std::atomic<unsigned> counter_{0};
};

}  // namespace

FileOps& PlatformFileOps() {
  // Built in place once and never destroyed, so that no destructor of the library's is left to
  // run when a host unloads it.
  alignas(PosixFileOps) static unsigned char storage[sizeof(PosixFileOps)];
  static FileOps* const ops = new (storage) PosixFileOps();
  return *ops;
}

}  // namespace deckhand
