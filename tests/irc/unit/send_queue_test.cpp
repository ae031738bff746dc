// The order in which queued reply lines go out.
#include "host/irc/send_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace deckhand::irc {
namespace {

// Short replies of senders with nothing waiting go first, four in a row at most; long ones take
// the round in turn, a newcomer after those not yet served.
TEST(SendQueue, ShortRepliesGoFirstButNeverStopTheRound) {
  auto lines = [](const char* text, std::size_t count) {
    return std::vector<QueuedLine>(count, QueuedLine{text, "#t", {}, false});
  };
  SendQueue queue;
  queue.Push("long1", lines("a", 5));
  queue.Push("long2", lines("b", 5));
  for (const char* name : {"s1", "s2", "s3", "s4", "s5"}) queue.Push(name, lines(name, 1));
  std::string order;
  auto ready = [](const QueuedLine&) { return true; };
  while (auto next = queue.Pop(ready)) order += next->second.line;
  EXPECT_EQ(order, "s1s2s3s4as5babababab");
  EXPECT_TRUE(queue.empty());
  EXPECT_EQ(queue.bytes(), 0u);
}

}  // namespace
}  // namespace deckhand::irc
