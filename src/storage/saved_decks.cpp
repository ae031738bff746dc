#include "storage/saved_decks.h"

#include <atomic>
#include <thread>
#include <utility>

#include "storage/data_path.h"
#include "storage/file_lock.h"
#include "storage/ini_access.h"
#include "storage/ini_format.h"

namespace deckhand {

// Stays at one address while the SaveFileLock that owns it moves, so the list can point at it.
struct HeldSaveLock {
  FileLock lock;
  std::string path;              // the lock file's
  std::uintptr_t thread = 0;     // the holder's CurrentThreadNumber()
  HeldSaveLock* next = nullptr;  // the next lock held in this process
};

namespace {

// The save-file locks that threads of this process hold, so that a thread taking again a lock
// it holds does not wait on itself. Only plain values: the library keeps no per-thread state
// and no static state with a destructor, so a host may unload it at any time and let its
// threads end afterwards without a call into the unloaded code. A spin on a flag guards the
// list: it is held for a few pointer steps, and a mutex would need the thread runtime.
std::atomic_flag holders_busy;  // clear
HeldSaveLock* holders = nullptr;

class HoldersGuard {
 public:
  HoldersGuard() {
    while (holders_busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  ~HoldersGuard() { holders_busy.clear(std::memory_order_release); }
  HoldersGuard(const HoldersGuard&) = delete;
  HoldersGuard& operator=(const HoldersGuard&) = delete;
};

bool HeldByThisThread(const std::string& path) {
  std::uintptr_t thread = CurrentThreadNumber();
  HoldersGuard guard;
  for (const HeldSaveLock* holding = holders; holding != nullptr; holding = holding->next) {
    if (holding->thread == thread && holding->path == path) return true;
  }
  return false;
}

void AddHolder(HeldSaveLock& holding) {
  HoldersGuard guard;
  holding.next = holders;
  holders = &holding;
}

void RemoveHolder(const HeldSaveLock& holding) noexcept {
  HoldersGuard guard;
  for (HeldSaveLock** link = &holders; *link != nullptr; link = &(*link)->next) {
    if (*link == &holding) {
      *link = holding.next;
      return;
    }
  }
}

std::string SaveLockPath() { return MakeAccessPath(kSaveFileName) + std::string(kLockFileSuffix); }

// A saved line's cards; an empty line is an empty deck.
CardList CardsOfLine(const std::string& line) {
  if (line.empty()) return CardList();
  return SplitText(line, ",", 0);
}

}  // namespace

SaveFileLock::SaveFileLock(SaveFileLock&& other) noexcept
    : held_(std::exchange(other.held_, false)), own_(std::move(other.own_)) {}

SaveFileLock& SaveFileLock::operator=(SaveFileLock&& other) noexcept {
  if (this != &other) {
    Release();
    held_ = std::exchange(other.held_, false);
    own_ = std::move(other.own_);
  }
  return *this;
}

SaveFileLock::~SaveFileLock() { Release(); }

void SaveFileLock::Release() noexcept {
  if (own_) {
    RemoveHolder(*own_);
    try {
      ActiveFileOps().Unlock(own_->lock);
    } catch (...) {
      // Letting go cannot be retried; the lock goes when the process does.
    }
    own_.reset();
  }
  held_ = false;
}

SaveFileLock SaveFileLock::Take(bool to_read) {
  SaveFileLock lock;
  std::string path = SaveLockPath();
  if (HeldByThisThread(path)) {
    lock.held_ = true;  // an outer holder on this thread keeps it
    return lock;
  }
  // Only a save makes the lock file: a reader that finds none has no save to wait for.
  if (to_read && !LockFileExists(path)) return lock;
  auto holding = std::make_unique<HeldSaveLock>();
  holding->path = std::move(path);
  holding->thread = CurrentThreadNumber();
  std::optional<FileLock> taken = ActiveFileOps().Lock(holding->path, kSaveLockWait);
  if (!taken) return lock;
  holding->lock = *taken;
  AddHolder(*holding);
  lock.own_ = std::move(holding);
  lock.held_ = true;
  return lock;
}

SaveFileLock LockSaveFile() { return SaveFileLock::Take(false); }

SaveFileLock LockSaveFileToRead() { return SaveFileLock::Take(true); }

SaveFileLock LockSaveFileWhereReadersMust() {
  // A read needs no protection from saves, which replace the file in one step. Where a save
  // cannot replace a file that anyone has open, readers take the lock to stay out of its way;
  // a lock that cannot be had does not stop the read, and a read never creates the lock file.
  if (ReadersTakeTheLock()) return LockSaveFileToRead();
  return SaveFileLock();
}

CardList LoadDeck(std::string_view target) {
  SaveFileLock lock = LockSaveFileWhereReadersMust();
  return LoadDeckHeld(target);
}

CardList LoadDeckHeld(std::string_view target) {
  return LoadDeckToSave(target).value_or(CardList());
}

std::optional<CardList> LoadDeckToSave(std::string_view target) {
  IniValueRead read =
      ReadIniValue(MakeAccessPath(kSaveFileName), kDeckSection, target, Links::kRefuse);
  if (read.outcome == ReadOutcome::kUnreadable) return std::nullopt;
  return CardsOfLine(read.value.value_or(std::string()));
}

bool SaveDeck(std::string_view target, const CardList& cards) {
  SaveFileLock lock = LockSaveFile();
  if (!lock) return false;
  std::string path = MakeAccessPath(kSaveFileName);
  // Every save holds the lock, so a temporary file found now is one that a killed save left.
  ActiveFileOps().RemoveStaleTemporaries(path);
  return WriteIniText(path, kDeckSection, target, JoinCards(cards));
}

}  // namespace deckhand
