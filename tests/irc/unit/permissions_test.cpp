// Who may deal in a channel, by each dealer rule.
#include "host/irc/permissions.h"

#include <gtest/gtest.h>

#include "host/irc/bot_state.h"
#include "host/irc/names.h"

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
  BotState state("", 10, 30);
  state.SetOwner("#t", {"nick:owner", "owner"});
  for (const Case& test : cases) {
    host::ChatRequest request;
    request.player = {"nick:" + FoldName(test.nick), test.nick};
    request.place = {"#t", "#t"};
    std::string_view nick = test.nick;
    request.standing = nick == "op"                         ? host::Standing::kOperator
                       : nick == "half" || nick == "voiced" ? host::Standing::kVoiced
                                                            : host::Standing::kMember;
    for (const char* member : {"op", "half", "voiced", "owner", "carol"}) {
      request.present.push_back({"nick:" + std::string(member), member});
    }
    request.same_name = [](std::string_view a, std::string_view b) { return SameName(a, b); };
    DealerPermissions dealers(state, *ParseDealerSetting(test.rule), {});
    dealers.Consider(request);
    EXPECT_EQ(dealers.MayDeal("#t", test.nick), test.may) << test.rule << " " << test.nick;
  }
}

}  // namespace
}  // namespace deckhand::irc
