// Several host processes drawing from one deck at once, through the exported Draw: every card
// is drawn exactly once, and the deck ends empty.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "commands/reply_texts.h"
#include "deckhand/deckhand.h"
#include "support/plugin.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {
namespace {

constexpr int kProcesses = 4;
constexpr int kDrawsPerProcess = 100;
constexpr int kCards = kProcesses * kDrawsPerProcess;

std::string Card(int i) { return "card" + std::to_string(i); }

// A child: draws the top card until the deck is empty, writing each card it was given to its
// own file. A draw that could not save gave no card; it is simply tried again.
[[noreturn]] void DrawUntilEmpty(int process) {
  const std::string head = "NOTICE #t ";
  std::ofstream drawn("drawn" + std::to_string(process));
  int save_failures = 0;
  for (;;) {
    std::string reply =
        CallCommand(&::Draw, "p" + std::to_string(process) + " #t m draw,1").value_or("");
    if (reply.rfind(head, 0) != 0) ::_exit(2);
    std::string text = reply.substr(head.size());
    if (text == kNoCardsText) break;
    if (text == kSaveFailedText) {
      ++save_failures;
      continue;
    }
    drawn << text << "\n";
  }
  drawn << "save failures " << save_failures << "\n";
  drawn.close();
  ::_exit(drawn ? 0 : 3);
}

TEST(ConcurrentDrawTest, EveryCardIsDrawnExactlyOnce) {
  ScratchDirectory scratch;
  std::string deck;
  for (int i = 0; i < kCards; ++i) deck += (i ? "," : "") + Card(i);
  scratch.Write("decksave.ini", "[DECK]\r\n#t=" + deck + "\r\n#other=A,B\r\n");

  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) DrawUntilEmpty(p);
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  }

  std::map<std::string, int> times_drawn;
  std::cout << "cards drawn per process:";
  for (int p = 0; p < kProcesses; ++p) {
    std::ifstream drawn(scratch.path() / ("drawn" + std::to_string(p)));
    int count = 0;
    for (std::string card; std::getline(drawn, card);) {
      if (card.rfind("save failures ", 0) == 0) {
        std::cout << " " << count << " (" << card << ")";
        continue;
      }
      ++times_drawn[card];
      ++count;
    }
  }
  std::cout << "\n";
  ASSERT_EQ(times_drawn.size(), static_cast<std::size_t>(kCards));
  for (int i = 0; i < kCards; ++i) EXPECT_EQ(times_drawn[Card(i)], 1) << Card(i);
  EXPECT_EQ(scratch.Read("decksave.ini"), "[DECK]\r\n#t=\r\n#other=A,B\r\n");
}

}  // namespace
}  // namespace deckhand::testing
