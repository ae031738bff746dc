// A card set written in UTF-8 with characters Shift_JIS lacks, made a deck file by deckhand's
// converter, played through Debian's ngircd: a UTF-8 network sees every card byte for byte as it
// was written, an ISO-2022-JP network sees the references as they stand in the deck file.
#include <algorithm>

#include "host/deckhand/convert_cards.h"
#include "irc/server/bot_session.h"

namespace deckhand::irc::testing {
namespace {

// Suits, emoji with a skin tone and with joiners, letters and symbols Shift_JIS lacks or holds
// only one way (¥, 〜), Japanese it holds, and text that only looks like a reference.
const std::vector<std::string> kCards = {
    "スペードのA",        "♠A",     "♥K",     "♦Q",     "♣J",  "🂡",           "👍🏽",
    "👨‍👩‍👧", "¥100〜", "é Ñ αΩ", "漢字𠮷", "R&D", "&#38; &#x41;"};

class BotReferencesTest : public BotTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BotReferencesTest, EveryCardComesAsTheNetworkCanCarryIt) {
  std::string list;
  for (const std::string& card : kCards) list += card + "\n";
  host::Conversion deck = host::ConvertCardFile(list, /*from_list=*/true);
  ASSERT_TRUE(deck.converted) << deck.failure;
  data_.Write("suits.ini", deck.bytes);
  data_.Write("modes.ini", "[MODE]\r\nsuits=suits.ini\r\n");
  // The cards as the deck file holds them, references and all.
  std::vector<std::string> in_file;
  for (std::size_t n = 1; n <= kCards.size(); ++n) {
    std::string key = "\r\n" + std::to_string(n) + "=";
    std::size_t at = deck.bytes.find(key) + key.size();
    in_file.push_back(deck.bytes.substr(at, deck.bytes.find('\r', at) - at));
  }
  ASSERT_NE(std::find(in_file.begin(), in_file.end(), "&#x2660;A"), in_file.end());

  auto player = Player("alice", GetParam(), "#table");
  StartBot({.encoding = GetParam()});
  ASSERT_TRUE(WaitForMember(*player, "#table", bot_nick_)) << "the bot never joined";
  // The start log warns about the cards the network shows with references.
  std::string log = ReadFile(bot_log_);
  bool warned = log.find(
                    "card sets: suits.ini:4: \"♠A\" shows as \"&#x2660;A\" on a network in "
                    "iso-2022-jp") != std::string::npos;
  EXPECT_EQ(warned, std::string(GetParam()) != "utf-8") << log;
  player->Say("#table", "!deck,suits");
  ASSERT_TRUE(player->NextNoticeFrom(bot_nick_)) << "no reply to the deal";
  player->Say("#table", "!draw,1-" + std::to_string(kCards.size()));
  std::optional<ServerLine> drawn = player->NextNoticeFrom(bot_nick_);
  ASSERT_TRUE(drawn && drawn->params.size() == 2) << "no reply to the draw";
  std::vector<std::string> cards = CardsOf(drawn->params[1]);

  std::vector<std::string> expected = kCards;
  if (std::string(GetParam()) != "utf-8") {
    // ISO-2022-JP holds Japanese but not the suits: those come as the file has them.
    expected = in_file;
    for (std::string& card : cards) {
      std::optional<std::string> cp932 = player->text().FromWire(card);
      EXPECT_TRUE(cp932) << card;
      card = cp932.value_or(card);
    }
  }
  std::sort(expected.begin(), expected.end());
  std::sort(cards.begin(), cards.end());
  EXPECT_EQ(cards, expected);

  // The library's Shift_JIS (the mode's name in the reason for no deal) is UTF-8 in the log.
  player->Say("#table", "!deck,\x83\x5E\x83\x8D\x83\x62\x83\x67");  // タロット
  EXPECT_TRUE(WaitForText(bot_log_, "no reply: the mode \"タロット\" is not in modes.ini",
                          std::chrono::seconds(20)))
      << ReadFile(bot_log_);
}

INSTANTIATE_TEST_SUITE_P(Networks, BotReferencesTest, ::testing::Values("utf-8", "iso-2022-jp"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::erase(name, '-');
                           return name;
                         });

}  // namespace
}  // namespace deckhand::irc::testing
