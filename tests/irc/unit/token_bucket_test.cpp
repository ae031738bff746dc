#include "host/irc/token_bucket.h"

#include <gtest/gtest.h>

namespace deckhand::irc {
namespace {

TEST(TokenBucketTest, FullBucketLetsTheFirstLineGo) {
  TokenBucket bucket(4, 0.5);
  EXPECT_EQ(bucket.WaitBefore(TokenBucket::Clock::time_point{}), TokenBucket::Clock::duration{});
}

}  // namespace
}  // namespace deckhand::irc
