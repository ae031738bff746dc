// The platform's part of locking a file: opening a lock file and one attempt at an exclusive
// lock on it, without waiting. The waiting is the same everywhere (FileOps::Lock). Per platform.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace deckhand {

enum class LockAttempt {
  kTaken,   // the lock is ours until the lock file is closed
  kBusy,    // someone else holds it: try again later
  kFailed,  // the platform cannot lock this file at all
};

// Opens the lock file at `path`, creating it when absent, readable and writable by its owner
// only (anyone who can open it can hold the lock). A link or anything but a regular file in its
// place is not opened. The lock file is never removed: removing it while another caller waits
// on it would let two callers lock two different files.
std::optional<std::intptr_t> OpenLockFile(const std::string& path);

// True when something is at `path`, a link included.
bool LockFileExists(const std::string& path);

LockAttempt TryLockExclusive(std::intptr_t handle);

// Whether reading the save file needs the save lock: where a save cannot replace a file that
// someone has open, readers take it so that saves need not wait for them.
bool ReadersTakeTheLock();

// Closes the lock file, letting go of any lock held on it.
void CloseLockFile(std::intptr_t handle);

// Sleeps for about `milliseconds`.
void PauseMilliseconds(int milliseconds);

// The calling thread's number, which no other running thread of the process has at the same
// time. The platform's own, so that asking costs no per-thread state in the library.
std::uintptr_t CurrentThreadNumber();

}  // namespace deckhand
