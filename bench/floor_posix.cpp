// The floor on POSIX systems: the same system calls a careful save makes, and nothing else.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "floor.h"

namespace deckhand::bench {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " " + path + ": errno " + std::to_string(errno));
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write", path);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

FileBytes ReadFileFloor(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot open", path);
  struct stat info;
  if (::fstat(fd, &info) != 0) Fail("cannot stat", path);
  FileBytes bytes;
  bytes.size = static_cast<std::size_t>(info.st_size);
  bytes.data.reset(new char[bytes.size]);
  std::size_t filled = 0;
  while (filled < bytes.size) {
    ssize_t got = ::read(fd, bytes.data.get() + filled, bytes.size - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) Fail("cannot read", path);
    filled += static_cast<std::size_t>(got);
  }
  ::close(fd);
  return bytes;
}

void ReplaceFileFloor(const std::string& path, std::string_view bytes) {
  std::string temp = path + ".floor.tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Fail("cannot create", temp);
  WriteAll(fd, bytes, temp);
  if (::fsync(fd) != 0) Fail("cannot flush", temp);
  if (::close(fd) != 0) Fail("cannot close", temp);
  if (::rename(temp.c_str(), path.c_str()) != 0) Fail("cannot rename", temp);
  std::string directory = path.substr(0, path.find_last_of('/') + 1);
  int dir_fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) Fail("cannot open", directory);
  ::fsync(dir_fd);
  ::close(dir_fd);
}

}  // namespace deckhand::bench
