// What --convert-cards --in-place keeps of the file it replaces: its owner and permissions. Run
// as root on a service's card files, it leaves them the service's, and private if they were.
#pragma once

#include <memory>
#include <string>

namespace deckhand::host {

// Notes the owner, group and permission bits of the file at `path` before it is replaced; while
// it lives, new files of this process are its user's alone, so that the replacement is never
// open to others before it has them.
class KeptOwner {
 public:
  explicit KeptOwner(const std::string& path);
  ~KeptOwner();
  KeptOwner(const KeptOwner&) = delete;
  KeptOwner& operator=(const KeptOwner&) = delete;

  // Gives the file now at the path what was noted. False with `failure` set when it cannot.
  bool GiveBack(std::string* failure) const;

 private:
  struct Noted;
  std::string path_;
  std::unique_ptr<Noted> noted_;
};

}  // namespace deckhand::host
