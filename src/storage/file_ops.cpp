#include "storage/file_ops.h"

#include <algorithm>
#include <cstring>

namespace deckhand {
namespace {

FileOps* active_ops = nullptr;

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

FileOps& ActiveFileOps() { return active_ops != nullptr ? *active_ops : PlatformFileOps(); }

ScopedFileOps::ScopedFileOps(FileOps& ops) : previous_(active_ops) { active_ops = &ops; }

ScopedFileOps::~ScopedFileOps() { active_ops = previous_; }

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  return ReplaceFileAtomically(path, {bytes});
}

bool ReplaceFileAtomically(const std::string& path,
                           std::initializer_list<std::string_view> pieces) {
  FileOps& ops = ActiveFileOps();
  std::optional<TempFile> temp = ops.CreateTempBeside(path);
  if (!temp) return false;
  bool written = true;
  for (std::string_view piece : pieces) {
    if (!piece.empty()) written = written && ops.Write(*temp, piece);
  }
  written = written && ops.Flush(*temp);
  bool closed = ops.Close(*temp);
  if (written && closed && ops.Rename(temp->path, path)) return true;
  ops.Remove(temp->path);
  return false;
}

}  // namespace deckhand
