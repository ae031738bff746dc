// Every target's remaining deck, kept in the save file "decksave.ini" of the current directory,
// section "DECK", one key per target holding its cards top first, joined by commas.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string_view>

#include "storage/file_ops.h"
#include "text/text_lists.h"

namespace deckhand {

inline constexpr std::string_view kSaveFileName = "decksave.ini";
inline constexpr std::string_view kDeckSection = "DECK";
// The companion file beside the save file that carries the lock (the save file itself is
// replaced on every save, so a lock on it would be lost with the old file).
inline constexpr std::string_view kLockFileSuffix = ".lock";
// How long a command waits for another caller's save before it gives up and says it could not
// save. Saves take milliseconds; only a stuck process holds the lock this long.
inline constexpr std::chrono::milliseconds kSaveLockWait{5000};

// The lock file's lock and the thread that took it, listed where a later taker on the same
// thread finds it (defined with LockSaveFile).
struct HeldSaveLock;

// The exclusive lock on the save file of the current directory, held from LockSaveFile until
// the object is destroyed. A command that loads a deck and saves it back holds it across both,
// so no other process or thread saves in between and no update is lost. Taking it again on the
// same thread while it is held costs nothing and succeeds, so SaveDeck can take it too.
class SaveFileLock {
 public:
  SaveFileLock() = default;
  SaveFileLock(SaveFileLock&& other) noexcept;
  SaveFileLock& operator=(SaveFileLock&& other) noexcept;
  SaveFileLock(const SaveFileLock&) = delete;
  SaveFileLock& operator=(const SaveFileLock&) = delete;
  ~SaveFileLock();

  // False when the lock could not be had within kSaveLockWait; nothing may be saved then.
  bool held() const { return held_; }
  explicit operator bool() const { return held_; }

 private:
  friend SaveFileLock LockSaveFile();
  friend SaveFileLock LockSaveFileToRead();
  // Takes the lock, waiting at most kSaveLockWait; for a reader (`to_read`), only where a lock
  // file is there already.
  static SaveFileLock Take(bool to_read);
  void Release() noexcept;

  bool held_ = false;
  std::unique_ptr<HeldSaveLock> own_;  // set only on the outermost holder on this thread
};

// Takes the save file's lock, waiting at most kSaveLockWait.
SaveFileLock LockSaveFile();
// The same for a reader: not held, without waiting, when there is no lock file yet (no save
// has run here), which it never creates.
SaveFileLock LockSaveFileToRead();

// What a reader holds while it reads the save file: where the platform cannot replace a file that
// anyone has open, the lock (without waiting, and never created), so that no save meets it; else
// nothing.
SaveFileLock LockSaveFileWhereReadersMust();

// The target's saved cards, top first; empty when the target has no entry, an empty entry, or
// the save file is absent, unreadable or a link. Targets match without regard to ASCII letter
// case. Where the platform needs it, reads under the save file's lock, so that no save of this
// library meets it reading.
CardList LoadDeck(std::string_view target);

// LoadDeck for a caller that holds the lock already, or could not have it and must not wait
// for it again.
CardList LoadDeckHeld(std::string_view target);

// Like LoadDeckHeld, for a command that will save the deck back: nullopt when the save file
// exists but cannot be read (a passing I/O error, too many open files, a link or no regular
// file), which must not be taken for an empty deck and saved over the cards the file holds.
std::optional<CardList> LoadDeckToSave(std::string_view target);

// Replaces the target's saved deck whole (an empty deck keeps an entry with an empty value).
// True when the new save file reached the disk; false when nothing was changed. Holds the save
// file's lock while it saves (a caller that loaded the deck should already hold it).
bool SaveDeck(std::string_view target, const CardList& cards);

}  // namespace deckhand
