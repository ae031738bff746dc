// Who may deal in a channel, by each dealer rule.
#include "host/common/permissions.h"

#include <gtest/gtest.h>

#include "host/common/ascii.h"
#include "host/common/bot_state.h"

namespace deckhand::host {
namespace {

// A request from `nick` at #t, where op, half, voiced, owner and carol are; names compared
// ignoring ASCII case, as the chat does.
ChatRequest RequestFrom(std::string_view nick) {
  ChatRequest request;
  request.player = {"nick:" + std::string(nick), std::string(nick)};
  request.place = {"#t", "#t"};
  request.standing = nick == "op"                         ? Standing::kOperator
                     : nick == "half" || nick == "voiced" ? Standing::kVoiced
                                                          : Standing::kMember;
  for (const char* member : {"op", "half", "voiced", "owner", "carol"}) {
    request.present.push_back({"nick:" + std::string(member), member});
  }
  request.same_name = EqualIgnoringCase;
  return request;
}

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
  state.SetOwner("#t", "", {"nick:owner", "owner", 0});
  for (const Case& test : cases) {
    ChatRequest request = RequestFrom(test.nick);
    DealerPermissions dealers(state, *ParseDealerSetting(test.rule), {});
    dealers.Consider(request);
    EXPECT_EQ(dealers.MayDeal("#t", "", test.nick), test.may) << test.rule << " " << test.nick;
  }
}

// A place's own rule is found by its name as the chat compares names; other places keep the
// default.
TEST(DealerPermissions, APlaceOfItsOwnFollowsItsRule) {
  BotState state("", 10, 30);
  state.SetOwner("#t", "", {"nick:owner", "owner", 0});
  ChatRequest request = RequestFrom("carol");
  DealerPermissions dealers(state, DealerSetting{}, {{"#T", *ParseDealerSetting("anyone")}});
  dealers.Consider(request);
  EXPECT_TRUE(dealers.MayDeal("#t", "", "carol"));
  EXPECT_FALSE(dealers.MayDeal("#u", "", "carol"));
}

}  // namespace
}  // namespace deckhand::host
