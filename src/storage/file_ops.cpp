#include "storage/file_ops.h"

namespace deckhand {
namespace {

FileOps* active_ops = nullptr;

}  // namespace

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
