// A process killed at any moment of a save leaves the save file whole: it reads as the file
// before that save or after it, never a mix, never cut short.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "storage/ini_format.h"
#include "storage/saved_decks.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {
namespace {

constexpr int kRounds = 200;
constexpr int kTargets = 8;
constexpr int kCardsPerDeck = 300;  // about 3 KB per target, so that a write takes a while
constexpr int kLongestWaitMicroseconds = 30000;

std::string Target(int i) { return "#t" + std::to_string(i); }

CardList Cards(int round, int target, char version) {
  CardList cards;
  for (int c = 0; c < kCardsPerDeck; ++c) {
    cards.push_back(std::string(1, version) + std::to_string(round) + "-" + std::to_string(target) +
                    "-" + std::to_string(c));
  }
  return cards;
}

// The save file after the first `saved` targets of the round got their new decks: every state
// that a save in progress may leave behind.
std::vector<std::string> StatesOfRound(int round) {
  std::string content;
  for (int i = 0; i < kTargets; ++i) {
    content = *WithIniValue(content, kDeckSection, Target(i), JoinCards(Cards(round, i, 'o')));
  }
  std::vector<std::string> states = {content};
  for (int i = 0; i < kTargets; ++i) {
    content = *WithIniValue(content, kDeckSection, Target(i), JoinCards(Cards(round, i, 'n')));
    states.push_back(content);
  }
  return states;
}

// The child: saves every target's new deck, over and over, until it is killed.
[[noreturn]] void SaveUntilKilled(int round) {
  for (;;) {
    for (int i = 0; i < kTargets; ++i) {
      if (!SaveDeck(Target(i), Cards(round, i, 'n'))) ::_exit(1);
    }
  }
}

// A killed save may leave its temporary file (the next save clears it); nothing else may appear.
void ExpectOnlyTemporaryFilesBeside(const ScratchDirectory& scratch) {
  for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
    std::string name = entry.path().filename().string();
    if (name == "decksave.ini" || name == "decksave.ini.lock") continue;
    ASSERT_EQ(name.rfind(".decksave.ini.", 0), 0u) << name;
  }
}

TEST(CrashSafetyTest, AProcessKilledWhileSavingLeavesTheOldFileOrTheNewOne) {
  ScratchDirectory scratch;
  std::random_device seed_source;
  unsigned seed = seed_source();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> wait(0, kLongestWaitMicroseconds);
  std::map<int, int> states_seen;  // saves completed when the kill came -> rounds

  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::string> states = StatesOfRound(round);
    scratch.Write("decksave.ini", states.front());
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) SaveUntilKilled(round);
    ::usleep(static_cast<useconds_t>(wait(random)));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving process failed in round " << round;

    std::optional<std::string> file = scratch.Read("decksave.ini");
    ASSERT_TRUE(file.has_value()) << "round " << round;
    auto found = std::find(states.begin(), states.end(), *file);
    ASSERT_NE(found, states.end())
        << "round " << round << ": a torn save file of " << file->size() << " bytes";
    ++states_seen[static_cast<int>(found - states.begin())];
    ExpectOnlyTemporaryFilesBeside(scratch);
  }
  // Every save holds the lock and clears what killed saves left, so none piles up.
  ASSERT_TRUE(SaveDeck(Target(0), {"last"}));
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
  std::cout << "saves completed when killed (saves: rounds):";
  for (const auto& [saves, rounds] : states_seen) std::cout << " " << saves << ":" << rounds;
  std::cout << "\n";
}

}  // namespace
}  // namespace deckhand::testing
