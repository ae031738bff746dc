#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "host/deckhand/kept_owner.h"

namespace deckhand::host {

struct KeptOwner::Noted {
  mode_t umask_before = 0;
  bool regular_file = false;
  struct stat old {};
};

KeptOwner::KeptOwner(const std::string& path) : path_(path), noted_(std::make_unique<Noted>()) {
  noted_->regular_file = ::stat(path.c_str(), &noted_->old) == 0 && S_ISREG(noted_->old.st_mode);
  noted_->umask_before = ::umask(077);
}

KeptOwner::~KeptOwner() { ::umask(noted_->umask_before); }

bool KeptOwner::GiveBack(std::string* failure) const {
  if (!noted_->regular_file) return true;
  const struct stat& old = noted_->old;
  struct stat now {};
  bool same_owner =
      ::stat(path_.c_str(), &now) == 0 && now.st_uid == old.st_uid && now.st_gid == old.st_gid;
  if ((!same_owner && ::chown(path_.c_str(), old.st_uid, old.st_gid) != 0) ||
      ::chmod(path_.c_str(), old.st_mode & 07777) != 0) {
    *failure = "was converted, but its owner and permissions could not be kept (" +
               std::generic_category().message(errno) + "): set them again";
    return false;
  }
  return true;
}

}  // namespace deckhand::host
