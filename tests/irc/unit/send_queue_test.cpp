// The order in which queued reply lines go out.
#include "host/irc/send_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace deckhand::irc {
namespace {

// Senders take turns a line each; a sender who has had no line in the last minute goes before
// the next line of anyone who has, however many of them wait.
TEST(SendQueue, WhoWasServedLongestAgoGoesNext) {
  auto lines = [](const char* text, std::size_t count) {
    return std::vector<QueuedLine>(count, QueuedLine{text, "#t", {}, false});
  };
  auto ready = [](const QueuedLine&) { return true; };
  SendQueue queue;
  SendQueue::Clock::time_point now{std::chrono::hours(1)};
  std::string order;
  auto pop = [&](int count) {
    for (int i = 0; i < count; ++i) {
      auto next = queue.Pop(ready, now);
      if (!next) return;
      order += next->second.line;
      now += std::chrono::seconds(2);
    }
  };
  queue.Push("a", lines("a", 5));
  queue.Push("b", lines("b", 5));
  pop(3);
  queue.Push("new", lines("n", 2));
  queue.Push("a", lines("A", 1));  // a's own lines keep their order
  pop(4);
  EXPECT_EQ(order, "abanban");
  // b was served within the minute, c long ago: c goes first.
  queue.Push("c", lines("c", 1));
  now += std::chrono::seconds(1);
  pop(2);
  EXPECT_EQ(order, "abanbancb");
  pop(100);
  EXPECT_EQ(order, "abanbancbababA") << "the rest in turn";
  EXPECT_TRUE(queue.empty());
  EXPECT_EQ(queue.bytes(), 0u);
}

// Among senders not served in the last minute, those who caused fewer lines go first: a
// newcomer goes before flooders whose many lines have not yet had their turn.
TEST(SendQueue, WhoCausedFewestLinesGoesFirstAmongTheUnserved) {
  auto ready = [](const QueuedLine&) { return true; };
  SendQueue queue;
  SendQueue::Clock::time_point now{std::chrono::hours(1)};
  for (const char* flooder : {"f1", "f2", "f3"}) {
    queue.Charge(flooder, 10, now);  // ten commands each, their replies held back
    queue.Push(flooder, {QueuedLine{flooder, "#t", now, false}});
  }
  queue.Push("new", {QueuedLine{"n", "#t", now, false}});
  EXPECT_EQ(queue.Pop(ready, now)->second.line, "n");
  EXPECT_EQ(queue.Pop(ready, now)->second.line, "f1");
}

}  // namespace
}  // namespace deckhand::irc
