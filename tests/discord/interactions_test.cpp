// The interactions endpoint's own rules, without sockets: how a slash command's options become
// the chat command the game plays, and how the game's answer becomes Discord's messages.
#include "host/discord/interactions.h"

#include <gtest/gtest.h>

#include "host/discord/slash_commands.h"

namespace deckhand::discord {
namespace {

using nlohmann::json;

// The game is not asked here: the endpoint's messages are made from answers written out.
class SilentGame : public host::ChatApplication {
 public:
  host::ChatAnswer Answer(const host::ChatRequest&) override { return {}; }
  std::optional<host::ChatAnswer> AnswerAtOnce(const host::ChatRequest&) const override {
    return std::nullopt;
  }
  void Left(std::string_view, std::string_view) override {}
  void Renamed(std::string_view, const host::ChatParty&) override {}
};

class InteractionsTest : public ::testing::Test {
 protected:
  InteractionsTest()
      : endpoint_(settings_, *SignatureCheck::FromHex(std::string(64, '1')), {"trump"}, game_) {
    settings_.api = "https://api.test";
    command_.request.player = {"11", "alice"};
    command_.request.place = {"22", "#table"};
    command_.application_id = "33";
    command_.token = "tok";
  }
  host::AddressedLine ToAlice(std::string text, bool secret = false) {
    return {false, "alice", "[#table] ", std::move(text), secret, "11"};
  }

  DiscordSettings settings_;
  SilentGame game_;
  InteractionEndpoint endpoint_;
  PendingCommand command_;
};

TEST_F(InteractionsTest, OptionsBecomeTheChatCommandWithNamesAChatCanCarry) {
  json data = {
      {"name", "deal"},
      {"options",
       {{{"name", "count"}, {"value", 2}},
        {{"name", "player2"}, {"value", "102"}},
        {{"name", "player1"}, {"value", "101"}},
        {{"name", "deck"}, {"value", "tarot"}}}},
      {"resolved",
       {{"users", {{"101", {{"username", "ann\u202E lee"}}}, {"102", {{"username", "alice"}}}}}}}};
  std::optional<SlashCall> call = ReadSlashCall(data, {{"11", "alice"}});
  ASSERT_TRUE(call);
  // Spaces and commas would cut the command: their full-width forms; what would reorder the line
  // goes. A name another player present goes by gets the end of the id.
  EXPECT_EQ(call->text, "deal@tarot,2,ann\u3000lee,alice#102");
  ASSERT_EQ(call->named.size(), 2u);
  EXPECT_EQ(call->named[1].id, "102");
  // A name chosen to match the one made up for another player does not make them one.
  data["resolved"]["users"]["101"]["username"] = "alice#102";
  EXPECT_EQ(ReadSlashCall(data, {{"11", "alice"}})->text, "deal@tarot,2,alice#102,alice#102#102");

  EXPECT_FALSE(
      ReadSlashCall({{"name", "deal"}, {"options", {{{"name", "count"}, {"value", "2"}}}}}, {}));
  EXPECT_FALSE(ReadSlashCall(
      {{"name", "draw"}, {"options", {{{"name", "selector"}, {"value", "1\n"}}}}}, {}));
  EXPECT_FALSE(ReadSlashCall({{"name", "nosuch"}}, {}));
  EXPECT_FALSE(
      ReadSlashCall({{"name", "draw"}, {"options", {{{"name", "cards"}, {"value", "2"}}}}}, {}))
      << "an option the command lacks";
}

TEST_F(InteractionsTest, TheAskersLinesAreEphemeralAndComeFirst) {
  host::ChatAnswer answer;
  answer.lines = {{true, "", "", "alice: 1枚引きました", false},
                  ToAlice("*Joker*", true),
                  {false, "bob", "", "not alice's", true, "44"}};
  std::vector<DiscordMessage> messages = endpoint_.Messages(command_, answer);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_TRUE(messages[0].ephemeral);
  EXPECT_EQ(messages[0].content, "\\*Joker\\*");  // a card's name, not emphasis
  EXPECT_FALSE(messages[1].ephemeral);
  EXPECT_EQ(messages[1].content, "alice: 1枚引きました");
}

TEST_F(InteractionsTest, ADealShowsHandsByItsButtonOnly) {
  command_.info = &host::ChatCommandOf(host::CommandId::kDeal);
  command_.deck = "tarot";
  host::ChatAnswer answer;
  answer.lines = {{true, "", "", "alice、bobに2枚配りました", false}, ToAlice("the Fool", true)};
  std::vector<DiscordMessage> messages = endpoint_.Messages(command_, answer);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_FALSE(messages[0].ephemeral);
  EXPECT_EQ(messages[0].button_command, "hand@tarot");
}

TEST_F(InteractionsTest, ALongReplyIsCutAtLinesIntoAFewMessages) {
  host::ChatAnswer answer;
  for (int line = 0; line < 400; ++line)
    answer.lines.push_back({true, "", "", std::string(99, 'x'), false});
  std::vector<DiscordMessage> messages = endpoint_.Messages(command_, answer);
  ASSERT_EQ(messages.size(), kMostMessages);
  EXPECT_EQ(messages[0].content.size(), 20u * 100 - 1);  // twenty whole lines
  EXPECT_LE(messages.back().content.size(), kMessageCharacters + 100);
  EXPECT_NE(messages.back().content.find(settings_.discord_texts.cut), std::string::npos);
}

TEST_F(InteractionsTest, ALateReplyReplacesTheThinkingAnswerThroughTheWebhook) {
  std::vector<DiscordMessage> own_first = {{"card", true, "", ""}, {"told", false, "", ""}};
  std::vector<ClientRequest> calls = endpoint_.WebhookCalls(command_, own_first, true);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].method, "PATCH");
  EXPECT_EQ(calls[0].url, "https://api.test/webhooks/33/tok/messages/@original");
  EXPECT_EQ(json::parse(calls[0].body)["content"], "card");
  EXPECT_EQ(calls[1].method, "POST");
  EXPECT_FALSE(json::parse(calls[1].body).contains("flags"));

  // The thinking answer was the asker's alone: a reply for the channel follows it.
  std::vector<DiscordMessage> public_only = {{"drawn", false, "", ""}};
  calls = endpoint_.WebhookCalls(command_, public_only, true);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(json::parse(calls[0].body)["content"], settings_.discord_texts.answered_in_channel);
  EXPECT_EQ(json::parse(calls[1].body)["content"], "drawn");
  EXPECT_TRUE(endpoint_.WebhookCalls(command_, public_only, false).empty());
}

}  // namespace
}  // namespace deckhand::discord
