#include "storage/saved_decks.h"

#include <utility>

#include "storage/data_path.h"
#include "storage/ini_access.h"
#include "storage/ini_format.h"

namespace deckhand {
namespace {

// The lock file whose lock this thread holds, if any: taking the same lock again must not wait
// on ourselves.
thread_local std::optional<std::string> held_lock_path;

std::string SaveLockPath() { return MakeDataPath(kSaveFileName) + std::string(kLockFileSuffix); }

// A saved line's cards; an empty line is an empty deck.
CardList CardsOfLine(const std::string& line) {
  if (line.empty()) return CardList();
  return SplitText(line, ",", 0);
}

}  // namespace

SaveFileLock::SaveFileLock(SaveFileLock&& other) noexcept
    : held_(std::exchange(other.held_, false)), own_(std::exchange(other.own_, std::nullopt)) {}

SaveFileLock& SaveFileLock::operator=(SaveFileLock&& other) noexcept {
  if (this != &other) {
    Release();
    held_ = std::exchange(other.held_, false);
    own_ = std::exchange(other.own_, std::nullopt);
  }
  return *this;
}

SaveFileLock::~SaveFileLock() { Release(); }

void SaveFileLock::Release() noexcept {
  if (own_) {
    held_lock_path.reset();
    try {
      ActiveFileOps().Unlock(*own_);
    } catch (...) {
      // Letting go cannot be retried; the lock goes when the process does.
    }
    own_.reset();
  }
  held_ = false;
}

SaveFileLock LockSaveFile() {
  SaveFileLock lock;
  std::string path = SaveLockPath();
  if (held_lock_path == path) {
    lock.held_ = true;  // an outer holder on this thread keeps it
    return lock;
  }
  lock.own_ = ActiveFileOps().Lock(path, kSaveLockWait);
  lock.held_ = lock.own_.has_value();
  if (lock.own_) held_lock_path = std::move(path);
  return lock;
}

CardList LoadDeck(std::string_view target) {
  return CardsOfLine(ReadIniText(MakeDataPath(kSaveFileName), kDeckSection, target));
}

std::optional<CardList> LoadDeckToSave(std::string_view target) {
  FileContent content = ActiveFileOps().ReadWhole(MakeDataPath(kSaveFileName));
  if (content.outcome == ReadOutcome::kUnreadable) return std::nullopt;
  return CardsOfLine(FindIniValue(content.bytes, kDeckSection, target).value_or(std::string()));
}

bool SaveDeck(std::string_view target, const CardList& cards) {
  SaveFileLock lock = LockSaveFile();
  if (!lock) return false;
  std::string path = MakeDataPath(kSaveFileName);
  // Every save holds the lock, so a temporary file found now is one that a killed save left.
  ActiveFileOps().RemoveStaleTemporaries(path);
  return WriteIniText(path, kDeckSection, target, JoinCards(cards));
}

}  // namespace deckhand
