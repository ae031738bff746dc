// Lock files on POSIX systems: flock, whose locks belong to one open file description, so two
// callers in one process exclude each other just as two processes do, and closing some other
// descriptor of the file never drops the lock (as it would with fcntl record locks).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "storage/file_lock.h"

namespace deckhand {

namespace {

// Never through a link, and non-blocking, so that a named pipe in the lock file's place cannot
// hang the caller.
constexpr int kLockOpenFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

}  // namespace

std::optional<std::intptr_t> OpenLockFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kLockOpenFlags, 0600);
  // A lock file that exists but is not ours to write can still be locked through a reading
  // descriptor.
  if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | kLockOpenFlags);
  if (fd < 0) return std::nullopt;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  return fd;
}

bool LockFileExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

bool ReadersTakeTheLock() { return false; }

LockAttempt TryLockExclusive(std::intptr_t handle) {
  for (;;) {
    if (::flock(static_cast<int>(handle), LOCK_EX | LOCK_NB) == 0) return LockAttempt::kTaken;
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? LockAttempt::kBusy : LockAttempt::kFailed;
  }
}

void CloseLockFile(std::intptr_t handle) { ::close(static_cast<int>(handle)); }

void PauseMilliseconds(int milliseconds) {
  timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

std::uintptr_t CurrentThreadNumber() { return static_cast<std::uintptr_t>(::gettid()); }

}  // namespace deckhand
