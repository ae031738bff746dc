// Check through the loaded library, on save files on disk.
#include <gtest/gtest.h>

#include "commands/command_test_helpers.h"

namespace deckhand::testing {
namespace {

const std::string kSaved = "[DECK]\r\n#t=A,B,C\r\n#gap=A,,C\r\n#empty=\r\n#u=Keep\r\n";

struct CheckCase {
  const char* name;
  std::string save_file;  // not written when empty
  std::string line;
  std::optional<std::string> reply;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

class CheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, ListsTheCardsLeftAndWritesNothing) {
  const CheckCase& c = GetParam();
  ScratchDirectory scratch;
  if (!c.save_file.empty()) scratch.Write("decksave.ini", c.save_file);
  std::string names_before = scratch.ListNames();

  EXPECT_EQ(Check(c.line), c.reply);
  EXPECT_EQ(scratch.ListNames(), names_before);
  if (!c.save_file.empty()) {
    EXPECT_EQ(scratch.Read("decksave.ini"), c.save_file);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckTest,
    ::testing::Values(CheckCase{"EmptyCardInTheMiddle", kSaved, "u #gap modes.ini check",
                                "NOTICE #gap A,,C"},
                      CheckCase{"EmptyEntry", kSaved, "u #empty modes.ini check", "NOTICE #empty "},
                      CheckCase{"NoSaveFile", "", "u #t modes.ini check", "NOTICE #t "},
                      CheckCase{"OnlyFieldTwoIsRead", kSaved, "  u   #t", "NOTICE #t A,B,C"},
                      CheckCase{"LineWithoutATarget", kSaved, "u", std::nullopt},
                      CheckCase{"TargetTooLongToHeadAReply", kSaved,
                                "u " + std::string(4095, 't') + " m check", std::nullopt}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

// "カード" and a three-digit number: nine bytes per card, numbered from the top.
Cards NumberedShiftJisCards(int count) {
  Cards cards;
  for (int i = 0; i < count; ++i) {
    std::string number = std::to_string(1000 + i).substr(1);
    cards.push_back("\x83\x4A\x81\x5B\x83\x68" + number);
  }
  return cards;
}

std::string Joined(const Cards& cards, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += (i ? "," : "") + cards[i];
  return text;
}

struct OverflowCase {
  const char* name;
  Cards deck;
  std::size_t listed;  // whole cards from the top that the reply holds
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const OverflowCase& c, std::ostream* out) { *out << c.name; }

class CheckOverflowTest : public ::testing::TestWithParam<OverflowCase> {};

// The reply's text has 4,085 bytes of room after "NOTICE #t ". 408 nine-byte cards and their
// commas take 4,079 of them; a 409th would need 4,089.
TEST_P(CheckOverflowTest, ListsWholeCardsFromTheTopWhileTheyFit) {
  const OverflowCase& c = GetParam();
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", "[DECK]\r\n#t=" + Joined(c.deck, c.deck.size()) + "\r\n");

  std::optional<std::string> reply = Check("u #t m check");
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, "NOTICE #t " + Joined(c.deck, c.listed));
  EXPECT_LE(reply->size(), 4095u);
  // The deck itself is left whole.
  EXPECT_EQ(Count("u #t m count"), "NOTICE #t " + std::to_string(c.deck.size()));
}

Cards WithCardAt(Cards cards, std::size_t at, const std::string& card) {
  cards.insert(cards.begin() + static_cast<std::ptrdiff_t>(at), card);
  return cards;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckOverflowTest,
    ::testing::Values(
        OverflowCase{"AllFit", NumberedShiftJisCards(408), 408},
        // After 408 cards and a comma, 5 bytes are left: the next card's three double-byte
        // characters would be cut in the middle of the third; the card is left out whole.
        OverflowCase{"NeverCutsADoubleByteCharacter",
                     WithCardAt(NumberedShiftJisCards(500), 408, "\x83\x41\x83\x41\x83\x41"), 408},
        // A card that fills the room to the last byte is listed.
        OverflowCase{"FillsTheRoomExactly",
                     WithCardAt(NumberedShiftJisCards(408), 408, "\x83\x41\x83\x41\x41"), 409}),
    [](const ::testing::TestParamInfo<OverflowCase>& info) { return info.param.name; });

struct LongTopCardCase {
  const char* name;
  std::string target;
  std::string top_card;  // above a second card, "B"
  std::string shown;     // the reply's text: the top card cut at a character boundary
  std::size_t drawn;     // cards a Draw takes: the top card once any of it can be shown
};

void PrintTo(const LongTopCardCase& c, std::ostream* out) { *out << c.name; }

class LongTopCardTest : public ::testing::TestWithParam<LongTopCardCase> {};

// A top card too long for any reply is still listed and drawn, cut short, so that the deck never
// stalls on it; Count agrees with what Check and Draw show.
TEST_P(LongTopCardTest, IsListedAndDrawnCutAtACharacterBoundary) {
  const LongTopCardCase& c = GetParam();
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", "[DECK]\r\n" + c.target + "=" + c.top_card + ",B\r\n");
  std::string head = "NOTICE " + c.target + " ";

  EXPECT_EQ(Check("u " + c.target + " m check"), head + c.shown);
  std::optional<std::string> drawn = Draw("u " + c.target + " m draw");
  ASSERT_TRUE(drawn);
  if (c.drawn == 1) {
    EXPECT_EQ(*drawn, head + c.shown);
  }
  EXPECT_EQ(Count("u " + c.target + " m count"), head + std::to_string(2 - c.drawn));
}

// "カ" repeated: double-byte characters, so an odd room cuts one byte short of it.
std::string Kas(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += "\x83\x4A";
  return text;
}

// After "NOTICE #t " a reply has 4,085 bytes of room.
INSTANTIATE_TEST_SUITE_P(
    Cases, LongTopCardTest,
    ::testing::Values(
        LongTopCardCase{"OneByteTooLong", "#t", std::string(4086, 'x'), std::string(4085, 'x'), 1},
        LongTopCardCase{"ShiftJisCutBeforeAHalfCharacter", "#t", Kas(2043), Kas(2042), 1},
        // A target of 4,084 bytes leaves 3 bytes of room: one "カ" of two.
        LongTopCardCase{"ThreeBytesOfRoom", std::string(4084, 't'), Kas(2), Kas(1), 1},
        // One byte of room holds no half of "カ": nothing is shown, and nothing drawn.
        LongTopCardCase{"NoRoomForOneCharacter", std::string(4086, 't'), Kas(2), "", 0}),
    [](const ::testing::TestParamInfo<LongTopCardCase>& info) { return info.param.name; });

}  // namespace
}  // namespace deckhand::testing
