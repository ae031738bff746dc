// Who may deal in a channel, by each dealer rule.
#include "host/irc/permissions.h"

#include <gtest/gtest.h>

#include "host/irc/bot_state.h"
#include "host/irc/membership.h"

namespace deckhand::irc {
namespace {

TEST(DealerPermissions, EachRuleLetsItsDealersDeal) {
  struct Case {
    const char* rule;
    const char* nick;
    bool may;
  };
  const Case cases[] = {
      {"owner", "carol", false},      {"owner", "owner", true},      {"owner", "op", true},
      {"anyone", "carol", true},      {"anyone", "stranger", false},  // not in the channel
      {"voiced", "carol", false},     {"voiced", "voiced", true},    {"voiced", "op", true},
      {"ops", "voiced", false},       {"ops", "half", false},        {"ops", "op", true},
      {"Carol, dave", "CAROL", true}, {"carol dave", "op", false},
  };
  Membership members;
  members.SetPrefix("(ohv)@%+");
  members.Joined("#t");
  members.AddNames("#t", "@op %half +voiced owner carol");
  BotState state("", 10, 30);
  state.SetOwner("#t", {"nick:owner", "owner"});
  for (const Case& test : cases) {
    DealerPermissions dealers(members, state, *ParseDealerSetting(test.rule), {});
    EXPECT_EQ(dealers.MayDeal("#t", test.nick), test.may) << test.rule << " " << test.nick;
  }
}

}  // namespace
}  // namespace deckhand::irc
