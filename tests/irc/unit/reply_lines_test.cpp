#include "host/irc/reply_lines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace deckhand::irc {
namespace {

// The cards of an example set, as a reply naming all of them: "name1,name2,...".
std::string CardsOf(const std::string& file_name) {
  std::ifstream file(std::string(DECKHAND_EXAMPLES_DIR) + "/" + file_name, std::ios::binary);
  std::string line;
  std::string cards;
  bool in_deck = false;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') in_deck = line == "[DECK]";
    std::size_t equals = line.find('=');
    if (!in_deck || equals == std::string::npos || line.compare(0, equals, "Max") == 0) continue;
    cards += (cards.empty() ? "" : ",") + line.substr(equals + 1);
  }
  return cards;
}

// The pieces read back and put together, without the marks at cuts inside a card. Checks on the
// way that each piece reads as a whole in its encoding, so that no piece splits a character and
// each ISO-2022-JP piece ends where it started, in ASCII.
std::string Rejoined(const std::vector<std::string>& pieces, const host::WireCodec& codec) {
  std::string joined;
  bool continues = false;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    std::optional<std::string> text = codec.ToLibrary(pieces[i]);
    EXPECT_TRUE(text.has_value()) << "piece " << i;
    if (!text) return joined;
    std::string_view piece = *text;
    if (codec.encoding() == host::WireEncoding::kIso2022Jp) {
      std::size_t last_escape = pieces[i].rfind('\x1B');
      EXPECT_TRUE(last_escape == std::string::npos ||
                  pieces[i].compare(last_escape, 3, "\x1B(B") == 0)
          << "piece " << i;
    }
    if (continues) {
      EXPECT_TRUE(piece.starts_with(kCardContinues)) << "piece " << i;
      piece.remove_prefix(kCardContinues.size());
    }
    continues = i + 1 < pieces.size() && !piece.ends_with(',');
    if (continues) {
      EXPECT_TRUE(piece.ends_with(kCardContinues)) << "piece " << i;
      piece.remove_suffix(kCardContinues.size());
    }
    joined += piece;
  }
  return joined;
}

struct SplitCase {
  const char* name;
  std::string text;  // CP932
  std::size_t max_wire_bytes;
  bool only_between_cards;  // every piece but the last ends at a comma
};

std::vector<SplitCase> Cases() {
  std::string kana_and_ascii;  // every character switches the ISO-2022-JP reader's state
  for (int i = 0; i < 300; ++i)
    kana_and_ascii += i % 3 == 0 ? "\xB1" : i % 3 == 1 ? "a" : "\x82\xA0";
  return {
      {"Trump", CardsOf("trump.ini"), 400, true},
      {"English", CardsOf("english.ini"), 400, true},
      {"Tarot", CardsOf("tarot.ini"), 300, true},
      {"Major", CardsOf("major.ini"), 120, true},
      {"OneLongCard", std::string(3000, 'x'), 400, false},
      {"LongJapaneseCard",
       "a," +
           [] {
             std::string card;
             for (int i = 0; i < 1500; ++i) card += "\x82\xA0";
             return card;
           }() +
           ",b",
       400, false},
      {"StateChanges", kana_and_ascii + "," + kana_and_ascii, 100, false},
      {"EndsOutsideAscii",
       [] {  // 3 + 96 + 3 bytes in ISO-2022-JP: the return to ASCII counts
         std::string card;
         for (int i = 0; i < 48; ++i) card += "\x82\xA0";
         return card;
       }(),
       100, false},
      {"OnlyCommas", std::string(1000, ','), 50, true},
      {"SmallLimit", "\x82\xA0\x82\xA0\x82\xA0\x82\xA0,\xB1\xB1\xB1\xB1\xB1", 16, false},
  };
}

TEST(SplitReplyForWireTest, PiecesFitAndRejoinToTheText) {
  for (host::WireEncoding encoding :
       {host::WireEncoding::kUtf8, host::WireEncoding::kIso2022Jp, host::WireEncoding::kShiftJis}) {
    host::WireCodec codec(encoding);
    for (const SplitCase& test : Cases()) {
      SCOPED_TRACE(std::string(test.name) + " in encoding " +
                   std::to_string(static_cast<int>(encoding)));
      ASSERT_FALSE(test.text.empty());
      std::vector<std::string> pieces = SplitReplyForWire(test.text, codec, test.max_wire_bytes);
      std::size_t wire_size = codec.ToWire(test.text).size();
      EXPECT_EQ(pieces.size() > 1, wire_size > test.max_wire_bytes);
      for (const std::string& piece : pieces) EXPECT_LE(piece.size(), test.max_wire_bytes);
      EXPECT_EQ(Rejoined(pieces, codec), test.text);
      if (test.only_between_cards) {
        for (std::size_t i = 0; i + 1 < pieces.size(); ++i) EXPECT_EQ(pieces[i].back(), ',');
      }
    }
  }
}

// Bytes that do not convert are marked, not lost; a text that fits is one piece.
TEST(SplitReplyForWireTest, MarksWhatDoesNotConvert) {
  const std::pair<host::WireEncoding, std::string> cases[] = {
      {host::WireEncoding::kUtf8, "a\xEF\xBF\xBD,b"},
      {host::WireEncoding::kShiftJis, "a\x81\xAC,b"},
      {host::WireEncoding::kIso2022Jp, "a\x1B$B\".\x1B(B,b"}};
  for (const auto& [encoding, wire] : cases) {
    EXPECT_EQ(SplitReplyForWire("a\x80,b", host::WireCodec(encoding), 400),
              std::vector<std::string>{wire});
  }
  EXPECT_TRUE(SplitReplyForWire("", host::WireCodec(host::WireEncoding::kUtf8), 400).empty());
}

}  // namespace
}  // namespace deckhand::irc
