// The table played by several processes at once, and by a process killed at any moment: every
// card dealt stays in exactly one place, as one lock and one atomic replace per command promise.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "deckhand/deckhand.h"
#include "deckhand/table.h"
#include "support/scratch_directory.h"

namespace deckhand::table {
namespace {

constexpr int kProcesses = 4;
constexpr int kCommandsPerProcess = 150;
constexpr int kKillRounds = 60;
constexpr int kLongestWaitMicroseconds = 20000;
const std::vector<std::string> kDecks = {"", "two"};
const std::vector<std::string> kPlayers = {"p0", "p1", "p2", "p3"};
// Dealt to when a deal would name one player twice.
constexpr std::string_view kBystander = "p9";

void WriteCardSet(const testing::ScratchDirectory& scratch) {
  std::string cards = "[DECK]\r\nMax=40\r\nReversible=1\r\n";
  for (int i = 1; i <= 40; ++i) cards += std::to_string(i) + "=card" + std::to_string(i) + "\r\n";
  scratch.Write("cards.ini", cards);
  scratch.Write("modes.ini", "[MODE]\r\nforty=cards.ini\r\n");
}

std::vector<std::string> Names(const Cards& cards) {
  std::vector<std::string> names;
  for (const Card& card : cards) names.push_back(card.name);
  return names;
}

std::vector<std::string> AllCardsOf(const std::string& deck) {
  std::vector<std::string> found = Names(DescribeTable("#t", deck).cards);
  for (const Card& card : ShowDiscards("#t", deck).cards) found.push_back(card.name);
  for (const std::string& player : kPlayers) {
    for (const Card& card : ShowHand("#t", deck, player).cards) found.push_back(card.name);
  }
  for (const Card& card : ShowHand("#t", deck, kBystander).cards) found.push_back(card.name);
  std::sort(found.begin(), found.end());
  return found;
}

// One of the five exports on the main deck, as a plug-in host beside the table calls it.
void CallExport(void (*command)(char*, char*), std::string line) {
  char reply[4096];
  command(line.data(), reply);
}

// One command as a player at the table would send it, on either deck, or as a plug-in host
// would on the main deck.
void PlayOneCommand(std::mt19937& random, const std::string& player) {
  const std::string& deck = kDecks[random() % kDecks.size()];
  const std::string& other = kPlayers[random() % kPlayers.size()];
  switch (random() % 10) {
    case 7:
      CallExport(&::Draw, player + " #t modes.ini draw,2,1");
      return;
    case 8:
      CallExport(&::Shuffle, player + " #t modes.ini shuffle");
      return;
    case 9:
      CallExport(&::Deck, player + " #t modes.ini deck,forty");
      return;
    case 0:
      DrawCards("#t", deck, "1,3", "");
      break;
    case 1:
      DrawCards("#t", deck, "1-2", player);
      break;
    case 2:
      PlayCards("#t", deck, player, "1");
      break;
    case 3:
      GiveCards("#t", deck, player, other, "1-");
      break;
    case 4:
      DealCards("#t", deck, 1, {player, other == player ? std::string(kBystander) : other});
      break;
    case 5:
      RecallCards("#t", deck, random() % 3 == 0);
      break;
    default:
      ShuffleDeck("#t", deck);
      break;
  }
}

class TableProcessesTest : public ::testing::Test {
 protected:
  TableProcessesTest() {
    WriteCardSet(scratch_);
    SetAutoRecall("#t", true);
    for (const std::string& deck : kDecks) {
      EXPECT_EQ(DealDeck("#t", deck, "modes.ini", "forty").outcome, Outcome::kDone);
      dealt_.push_back(AllCardsOf(deck));
    }
  }

  void ExpectEveryCardInOnePlace(const std::string& when) {
    for (std::size_t d = 0; d < kDecks.size(); ++d) {
      ASSERT_EQ(AllCardsOf(kDecks[d]), dealt_[d]) << "deck \"" << kDecks[d] << "\" " << when;
    }
  }

  testing::ScratchDirectory scratch_;
  std::vector<std::vector<std::string>> dealt_;
};

TEST_F(TableProcessesTest, FourProcessesAtOnceLoseAndDoubleNoCard) {
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::mt19937 random(static_cast<unsigned>(p) * 7919u + 1u);
      for (int i = 0; i < kCommandsPerProcess; ++i) PlayOneCommand(random, kPlayers[p]);
      ::_exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  ExpectEveryCardInOnePlace("after four processes played at once");

  // A lost update keeps every card in one place (each save is a whole table), so the players
  // also say what they got: four processes draw into their hands until the pile is empty, and
  // each hand must hold exactly the cards its process was told it drew.
  ASSERT_EQ(RecallCards("#t", "", true).outcome, Outcome::kDone);
  ASSERT_EQ(SetAutoRecall("#t", false).outcome, Outcome::kDone);
  children.clear();
  for (int p = 0; p < kProcesses; ++p) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::ofstream told("told" + std::to_string(p));
      for (;;) {
        Result drawn = DrawCards("#t", "", "1", kPlayers[p]);
        if (drawn.outcome == Outcome::kNoCards) break;
        if (drawn.outcome != Outcome::kDone) continue;  // a busy lock: try again
        for (const Card& card : drawn.cards) told << card.name << "\n";
      }
      told.close();
      ::_exit(told ? 0 : 3);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }
  for (int p = 0; p < kProcesses; ++p) {
    std::vector<std::string> told;
    std::ifstream in(scratch_.path() / ("told" + std::to_string(p)));
    for (std::string card; std::getline(in, card);) told.push_back(card);
    std::vector<std::string> held = Names(ShowHand("#t", "", kPlayers[p]).cards);
    std::sort(told.begin(), told.end());
    std::sort(held.begin(), held.end());
    EXPECT_EQ(held, told) << kPlayers[p];
  }
  ExpectEveryCardInOnePlace("after four processes drew the pile empty");
}

TEST_F(TableProcessesTest, AProcessKilledAtAnyMomentLeavesEveryCardInOnePlace) {
  std::random_device seed_source;
  unsigned seed = seed_source();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> wait(0, kLongestWaitMicroseconds);
  for (int round = 0; round < kKillRounds; ++round) {
    unsigned child_seed = static_cast<unsigned>(random());
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::mt19937 child_random(child_seed);
      for (;;) PlayOneCommand(child_random, kPlayers[child_random() % kPlayers.size()]);
    }
    ::usleep(static_cast<useconds_t>(wait(random)));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the playing process ended by itself in round " << round;
    ExpectEveryCardInOnePlace("after a kill in round " + std::to_string(round));
  }
}

}  // namespace
}  // namespace deckhand::table
