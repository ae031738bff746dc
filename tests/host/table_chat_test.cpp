// The table's chat layer as hosts use it: command texts in, lines to players and the place out,
// on real files in a scratch directory.
#include "host/common/table_chat.h"

#include <gtest/gtest.h>

#include "commands/reply_texts.h"
#include "host/common/fill_text.h"
#include "random/fair_shuffle.h"
#include "support/scratch_directory.h"

namespace deckhand::host {
namespace {

using deckhand::testing::ScratchDirectory;

std::string Fill(std::string_view text,
                 std::initializer_list<std::pair<std::string_view, std::string_view>> fills) {
  return FillPlaceholders(text, fills);
}

std::string Fill(std::string_view text, std::string_view name, std::string_view value) {
  return Fill(text, {{name, value}});
}

class TableChatTest : public ::testing::Test {
 protected:
  TableChatTest() {
    scratch_.Write("modes.ini", "[MODE]\r\nm=m.ini\r\n");
    scratch_.Write("m.ini", "[DECK]\r\nMax=2\r\n1=A\r\n2=B\r\n");
    scratch_.Write("decksave.ini", "[DECK]\r\n#t=A,B,C,D\r\n");
  }

  TableAnswer Run(std::string_view text, bool may_deal = true, std::string_view player = "al",
                  std::string_view place = "#t") {
    TableCommand command;
    command.player = player;
    command.place = place;
    command.text = text;
    command.modes_file = "modes.ini";
    command.prefix = "!";
    command.may_deal = may_deal;
    command.player_named = [](std::string_view name) -> std::optional<std::string> {
      if (name == "ghost") return std::nullopt;
      return std::string(name);
    };
    return RunTableCommand(command, texts_);
  }

  std::string SaveFile() const { return scratch_.Read("decksave.ini").value_or(""); }

  ScratchDirectory scratch_;
  TableTexts texts_ = DefaultTableTexts();
};

TEST_F(TableChatTest, OnlyTheDealerRunsTheDealersCommands) {
  std::string before = SaveFile();
  for (std::string_view text : {"deck,m", "shuffle", "recall,all", "deal,1,al", "check", "peek",
                                "auto_recall,on", "deck@x,m", "reveal"}) {
    TableAnswer answer = Run(text, false);
    EXPECT_EQ(answer.status, AnswerStatus::kRefused) << text;
    ASSERT_EQ(answer.lines.size(), 1u) << text;
    EXPECT_EQ(answer.lines[0].to, "al") << text;
    EXPECT_NE(answer.lines[0].text.find(texts_.dealer_only), std::string::npos) << text;
  }
  EXPECT_EQ(SaveFile(), before);
  EXPECT_EQ(Run("auto_recall", false).status, AnswerStatus::kDone);
  EXPECT_EQ(Run("hdraw", false).status, AnswerStatus::kDone);
}

TEST_F(TableChatTest, HiddenCardsGoToTheirPlayerAloneAndAreMarkedSecret) {
  TableAnswer drawn = Run("hdraw,2");
  ASSERT_EQ(drawn.lines.size(), 2u);
  EXPECT_EQ(drawn.lines[0].to, "al");
  EXPECT_EQ(drawn.lines[0].text, "B");
  EXPECT_TRUE(drawn.lines[0].secret);
  EXPECT_EQ(drawn.lines[1].to, "#t");
  EXPECT_FALSE(drawn.lines[1].secret);
  EXPECT_EQ(drawn.lines[1].text.find('B'), std::string::npos);

  // The place hears of the deal in one line, first.
  TableAnswer dealt = Run("deal,1,bo,cy");
  ASSERT_EQ(dealt.lines.size(), 3u);
  EXPECT_EQ(dealt.lines[0].to, "#t");
  EXPECT_EQ(dealt.lines[0].text, Fill(Fill(texts_.dealt, "{nick}",
                                           "bo\x81\x41"
                                           "cy"),
                                      "{count}", "1"));
  EXPECT_FALSE(dealt.lines[0].secret);
  EXPECT_EQ(dealt.lines[1].to, "bo");
  EXPECT_EQ(dealt.lines[1].text, "A");
  EXPECT_TRUE(dealt.lines[1].secret && dealt.lines[2].secret);

  TableAnswer given = Run("give,cy,1", true, "bo");
  ASSERT_EQ(given.lines.size(), 2u);
  EXPECT_EQ(given.lines[0].to, "cy");
  EXPECT_TRUE(given.lines[0].secret);
  EXPECT_TRUE(Run("hand", true, "cy").lines[0].secret);
  EXPECT_TRUE(Run("peek").lines[0].secret);
  EXPECT_FALSE(Run("play,1", true, "cy").lines[0].secret);
}

// At a private table, under the player's name or one the host chose, the player is told once,
// and is the one player a deal or a give may name.
TEST_F(TableChatTest, APrivateTableTellsThePlayerOnce) {
  scratch_.Write("decksave.ini", "[DECK]\r\nal=A,B\r\n~d1=A,B,C\r\n");
  TableAnswer drawn = Run("hdraw", true, "al", "al");
  ASSERT_EQ(drawn.lines.size(), 1u);
  EXPECT_EQ(drawn.lines[0].text, "A");
  TableCommand command;
  command.player = "al";
  command.place = "~d1";
  command.private_table = true;
  command.modes_file = "modes.ini";
  command.may_deal = true;
  command.player_named = [](std::string_view name) -> std::optional<std::string> {
    if (name != "al") return std::nullopt;
    return std::string(name);
  };
  command.text = "hdraw";
  EXPECT_EQ(RunTableCommand(command, texts_).lines.size(), 1u);
  command.text = "deal,1,al";
  EXPECT_EQ(RunTableCommand(command, texts_).status, AnswerStatus::kDone);
  command.text = "give,al,1";
  TableAnswer given = RunTableCommand(command, texts_);
  ASSERT_EQ(given.lines.size(), 1u);
  EXPECT_EQ(given.lines[0].text, texts_.give_to_self);
}

TEST_F(TableChatTest, NamesThatAreNoPlayerAndDeckNamesThatCannotBeAreRefused) {
  std::string before = SaveFile();
  for (std::string_view text : {"deal,1,bo,ghost", "give,ghost,1", "draw@",
                                "draw@abcdefghijklmnopq", "deal,x,bo", "recall,some", "peek,0"}) {
    TableAnswer answer = Run(text);
    EXPECT_EQ(answer.status, AnswerStatus::kRefused) << text;
    ASSERT_EQ(answer.lines.size(), 1u) << text;
    EXPECT_EQ(answer.lines[0].to, "al") << text;
  }
  EXPECT_EQ(SaveFile(), before);
}

// A card discarded unseen is counted on the discard pile, never named, until it comes back.
TEST_F(TableChatTest, AFaceDownDiscardIsOnlyCounted) {
  Run("deck@d,m");
  Run("deal@d,2,al");
  std::string played = Run("play@d,1").lines[0].text;
  std::string first(1, played.back());  // "[d] al: A" or "...: B"
  std::string second = first == "A" ? "B" : "A";
  Run("discard@d,1");
  TableAnswer discards = Run("discards@d");
  ASSERT_EQ(discards.lines.size(), 1u);
  EXPECT_EQ(discards.lines[0].text, Fill(texts_.deck_label, "{deck}", "d") + first + " " +
                                        Fill(texts_.face_down_discards, "{count}", "1"));
  EXPECT_NE(SaveFile().find("#t,d,discard=Uu:" + first + "," + second), std::string::npos);
  Run("recall@d");
  EXPECT_NE(SaveFile().find("#t,d,draw=UU:"), std::string::npos) << SaveFile();
}

// Refusals name what is wrong, and tell the piles as they still are.
TEST_F(TableChatTest, RefusalsNameTheirCause) {
  TableAnswer twice = Run("deal,1,BO,bo");
  ASSERT_EQ(twice.lines.size(), 1u);
  EXPECT_EQ(twice.lines[0].text, Fill(texts_.player_twice, "{nick}", "bo"));
  scratch_.Write("decksave.ini",
                 "[DECK]\r\n#t=A\r\n[TABLE]\r\n#t,auto_recall=1\r\n#t,,deck=U,m\r\n"
                 "#t,,discard=UU:B,C\r\n");
  std::string before = SaveFile();
  TableAnswer short_deal = Run("deal,4,al");
  ASSERT_EQ(short_deal.lines.size(), 1u);
  EXPECT_EQ(short_deal.lines[0].text, Fill(texts_.not_enough_cards, "{count}", "1"));
  EXPECT_EQ(SaveFile(), before);
  // The second byte of 院 is the byte of '@'.
  EXPECT_EQ(Run("deck@\x89\x40,m").status, AnswerStatus::kDone);
  EXPECT_EQ(Run("count@\x89\x40").lines[0].text, "[\x89\x40] 2");
}

// The commitment !fair shows whole is the one the shuffle's reply named last, and the seed the
// reveal publishes hashes to it; a player's seed is told by name only until then.
TEST_F(TableChatTest, TheSeedRevealedAfterAShuffleIsTheOneCommittedBeforeIt) {
  auto commitment_in = [](const TableAnswer& answer) {
    const std::string& text = answer.lines.at(0).text;
    return text.substr(text.size() - 64);
  };
  TableAnswer fair = Run("fair", false);
  ASSERT_EQ(fair.status, AnswerStatus::kDone);
  std::string first = commitment_in(fair);
  EXPECT_EQ(fair.lines[0].text, Fill(texts_.fair, {{"{count}", "1"}, {"{commitment}", first}}));

  TableAnswer seeded = Run("seed,lucky", false, "bo");
  ASSERT_EQ(seeded.lines.size(), 1u);
  EXPECT_EQ(seeded.lines[0].to, "#t");
  EXPECT_EQ(seeded.lines[0].text, Fill(texts_.seed_added, {{"{nick}", "bo"}, {"{count}", "1"}}));
  EXPECT_NE(Run("fair").lines[0].text.find(Fill(texts_.fair_waiting, {{"{text}", "bo"}})),
            std::string::npos);

  TableAnswer shuffled = Run("shuffle");
  TableAnswer next = Run("fair");
  std::string second = commitment_in(next);
  // The seed went into shuffle 1; none waits for shuffle 2.
  EXPECT_EQ(next.lines[0].text, Fill(texts_.fair, {{"{count}", "2"}, {"{commitment}", second}}));
  EXPECT_EQ(shuffled.lines.at(0).text,
            texts_.shuffled + Fill(texts_.next_commitment,
                                   {{"{count}", "2"}, {"{commitment}", second.substr(0, 16)}}));

  TableAnswer revealed = Run("reveal");
  ASSERT_EQ(revealed.status, AnswerStatus::kDone);
  ASSERT_EQ(revealed.lines.size(), 1u);  // a main deck only the plug-in dealt is not dealt anew
  std::string seed = revealed.lines[0].text.substr(revealed.lines[0].text.size() - 64);
  EXPECT_EQ(revealed.lines[0].text,
            Fill(texts_.seed_revealed, {{"{count}", "1"}, {"{text}", seed}}));
  EXPECT_EQ(CommitmentOf(SeedOfHex(seed).value()), first);
  EXPECT_EQ(Run("reveal").lines.at(0).text, texts_.nothing_to_reveal);
  EXPECT_EQ(Run("seed," + std::string(65, 'x')).lines.at(0).text, texts_.bad_seed);
}

TEST_F(TableChatTest, OtherTextsAreNoCommand) {
  for (std::string_view text : {"hello", "drawx", "", "@two", ",draw"}) {
    TableAnswer answer = Run(text);
    EXPECT_FALSE(answer.is_command) << text;
    EXPECT_TRUE(answer.lines.empty()) << text;
  }
}

// The registry: a word in any letter case, and who may run what.
TEST(CommandRegistryTest, FindsWordsInAnyCaseAndKnowsTheDealersCommands) {
  ASSERT_NE(FindChatCommand("HDraw"), nullptr);
  EXPECT_EQ(FindChatCommand("HDraw")->id, CommandId::kHiddenDraw);
  EXPECT_EQ(FindChatCommand("draw@x"), nullptr);
  EXPECT_EQ(FindChatCommand("dra"), nullptr);
  struct Case {
    const char* word;
    const char* arguments;
    bool dealer;
  };
  const Case cases[] = {{"deck", "m", true},        {"draw", "", false},
                        {"peek", "3", true},        {"hand", "", false},
                        {"auto_recall", "", false}, {"auto_recall", "on", true},
                        {"help", "deal", false}};
  for (const Case& c : cases) {
    EXPECT_EQ(NeedsDealer(*FindChatCommand(c.word), c.arguments), c.dealer) << c.word;
  }
  EXPECT_EQ(PeekCount(""), 1u);
  EXPECT_EQ(PeekCount("1000"), 1000u);
  for (std::string_view wrong : {"1001", "0", "2x", " 2"}) {
    EXPECT_EQ(PeekCount(wrong), std::nullopt) << wrong;
  }
  EXPECT_EQ(ReadCount("+3"), std::nullopt);
}

// What a command did, as data: the outcome, the deck and the mode dealt.
TEST_F(TableChatTest, TheAnswerTellsWhatTheTableDid) {
  TableAnswer dealt = Run("DECK,m");
  EXPECT_EQ(dealt.command->id, CommandId::kDeck);
  EXPECT_EQ(dealt.outcome, table::Outcome::kDone);
  EXPECT_EQ(dealt.mode, "m");
  EXPECT_EQ(dealt.deck_file, "m.ini");
  EXPECT_TRUE(dealt.dealt_main_deck);
  TableAnswer named = Run("deck@two,m");
  EXPECT_EQ(named.deck, "two");
  EXPECT_FALSE(named.dealt_main_deck);
  TableAnswer unknown = Run("deck,x");
  EXPECT_EQ(unknown.outcome, table::Outcome::kNoSuchMode);
  EXPECT_FALSE(unknown.dealt_main_deck);
  EXPECT_EQ(Run("deck,m", false).outcome, std::nullopt);  // refused before the table was asked
}

TEST_F(TableChatTest, HelpListsEveryCommandBehindThePrefixAndTextsAreTheHosts) {
  TableAnswer help = Run("help");
  ASSERT_EQ(help.lines.size(), ChatCommands().size() + 1);  // and the legend
  EXPECT_EQ(help.lines[0].text.rfind("!deck[@D],MODE*: ", 0), 0u) << help.lines[0].text;
  EXPECT_EQ(help.lines[5].text.rfind("!deal[@D],N,NICK[,NICK...]*: ", 0), 0u);
  EXPECT_EQ(help.lines.back().text, texts_.help_legend);
  for (const ChatLine& line : help.lines) EXPECT_EQ(line.to, "al");
  // A host's own line for a command, by its word; help about one command tells it alone.
  texts_.help["deal"] = "{prefix}deal: deals";
  EXPECT_EQ(Run("help").lines[5].text, "!deal: deals");
  TableAnswer deal = Run("help,DEAL");
  ASSERT_EQ(deal.lines.size(), 1u);
  EXPECT_EQ(deal.lines[0].text, "!deal: deals");

  texts_.hidden_draw = "{nick} drew {count}";
  texts_.reversed_mark = "(R)";
  texts_.deck_label = "<{deck}> ";
  scratch_.Write("decksave.ini", "[DECK]\r\n[TABLE]\r\n#t,d,deck=R,m\r\n#t,d,draw=RU:A,B\r\n");
  TableAnswer drawn = Run("hdraw@d,1-2");
  ASSERT_EQ(drawn.lines.size(), 2u);
  EXPECT_EQ(drawn.lines[0].text, "<d> A(R),B");
  EXPECT_EQ(drawn.lines[1].text, "<d> al drew 2");
}

// Hosts tell a failed command by the library's own words, which the defaults repeat.
TEST(TableTextsTest, TheDefaultsSayWhatTheLibrarySays) {
  TableTexts texts = DefaultTableTexts();
  EXPECT_EQ(texts.no_cards, kNoCardsText);
  EXPECT_EQ(texts.nothing_drawn, kNothingDrawnText);
  EXPECT_EQ(texts.save_failed, kSaveFailedText);
  EXPECT_EQ(texts.shuffle_failed, kShuffleFailedText);
  EXPECT_EQ(texts.deck_file_unreadable, kDeckFileUnreadableText);
  EXPECT_EQ(texts.shuffled, kShuffledText);
  EXPECT_EQ(texts.deck_set, std::string(kDeckSetText) + "{mode}");
  EXPECT_EQ(texts.reversed_mark, "(\x8B\x74\x88\xCA\x92\x75)");  // (逆位置)
}

}  // namespace
}  // namespace deckhand::host
