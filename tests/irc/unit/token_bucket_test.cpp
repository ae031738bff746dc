#include "host/irc/token_bucket.h"

#include <gtest/gtest.h>

#include <limits>

namespace deckhand::irc {
namespace {

using Clock = TokenBucket::Clock;
using std::chrono::milliseconds;

// One step: at `at_ms` after the start, ask for the wait, expect it, and take a token if told.
struct Step {
  int at_ms;
  milliseconds wait;
  bool take;
};

struct BucketCase {
  const char* name;
  double burst;
  double lines_per_second;
  std::vector<Step> steps;
};

class TokenBucketTest : public testing::TestWithParam<BucketCase> {};

TEST_P(TokenBucketTest, PacesLines) {
  const BucketCase& test = GetParam();
  TokenBucket bucket(test.burst, test.lines_per_second);
  Clock::time_point start{std::chrono::hours(1)};
  for (std::size_t i = 0; i < test.steps.size(); ++i) {
    const Step& step = test.steps[i];
    Clock::time_point now = start + milliseconds(step.at_ms);
    EXPECT_EQ(std::chrono::ceil<milliseconds>(bucket.WaitBefore(now)), step.wait) << "step " << i;
    if (step.take) bucket.Take(now);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Buckets, TokenBucketTest,
    testing::Values(BucketCase{"BurstThenRate",
                               3,
                               2,
                               {{0, milliseconds(0), true},
                                {0, milliseconds(0), true},
                                {0, milliseconds(0), true},
                                {0, milliseconds(500), false},
                                {200, milliseconds(300), false},
                                {500, milliseconds(0), true},
                                {500, milliseconds(500), false}}},
                    BucketCase{"RefillStopsAtTheBurst",
                               2,
                               1,
                               {{0, milliseconds(0), true},
                                {0, milliseconds(0), true},
                                {60000, milliseconds(0), true},
                                {60000, milliseconds(0), true},
                                {60000, milliseconds(1000), false}}},
                    BucketCase{"EarlyTakeIsADebt",
                               1,
                               1,
                               {{0, milliseconds(0), true},
                                {0, milliseconds(1000), true},
                                {0, milliseconds(2000), false},
                                {1500, milliseconds(500), false}}},
                    BucketCase{"ClockGoingBackGivesNothing",
                               1,
                               1,
                               {{1000, milliseconds(0), true},
                                {0, milliseconds(1000), false},
                                {1500, milliseconds(500), false}}},
                    BucketCase{"BurstBelowOneIsOne",
                               0,
                               1,
                               {{0, milliseconds(0), true}, {0, milliseconds(1000), false}}},
                    BucketCase{"NoRateNoLimit",
                               1,
                               0,
                               {{0, milliseconds(0), true},
                                {0, milliseconds(0), true},
                                {0, milliseconds(0), true}}},
                    BucketCase{"NotANumberNoLimit",
                               1,
                               std::numeric_limits<double>::quiet_NaN(),
                               {{0, milliseconds(0), true}, {0, milliseconds(0), true}}}),
    [](const testing::TestParamInfo<BucketCase>& info) { return info.param.name; });

}  // namespace
}  // namespace deckhand::irc
