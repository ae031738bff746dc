// The terminal codec on its own: Shift_JIS replies shown in the terminal's character set, with
// every byte that does not convert escaped and character references shown as their characters
// where the terminal has them, and typed text made Shift_JIS or refused.
#include "host/common/encoding.h"

#include <gtest/gtest.h>

#include "support/test_names.h"

namespace deckhand::host {
namespace {

TerminalCodec Open(std::string_view choice) {
  std::string error;
  std::optional<TerminalCodec> codec = TerminalCodec::Open(choice, &error);
  EXPECT_TRUE(codec.has_value()) << error;
  return codec.value_or(*TerminalCodec::Open("sjis", &error));
}

struct ShownCase {
  const char* name;
  std::string encoding;
  std::string library_bytes;
  std::string shown;
};

void PrintTo(const ShownCase& c, std::ostream* out) { *out << c.name; }

class ShownTest : public ::testing::TestWithParam<ShownCase> {};

TEST_P(ShownTest, ShowsEveryByteOfTheReply) {
  const ShownCase& c = GetParam();
  EXPECT_EQ(Open(c.encoding).ToTerminal(c.library_bytes), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShownTest,
    ::testing::Values(
        ShownCase{"Utf8Japanese", "utf-8",
                  "NOTICE #t \x83\x56\x83\x83\x83\x62\x83\x74\x83\x8B\x82\xB5\x82\xDC"
                  "\x82\xB5\x82\xBD",
                  "NOTICE #t シャッフルしました"},
        // Code page 932's own rows: circled numbers, half-width katakana, the wave dash.
        ShownCase{"Utf8CodePageRows", "utf-8", "\x87\x40\xB1\x81\x60", "①ｱ～"},
        ShownCase{"Utf8BackslashAndTilde", "utf-8", "\\~", "\\~"},
        // Bytes no character starts with.
        ShownCase{"Utf8ByteNoCharacterStartsWith", "utf-8",
                  "A\x80"
                  "B",
                  "A\\x80B"},
        ShownCase{"Utf8RunOfBytesNoCharacterStartsWith", "utf-8", "\xA0\xFD\xFF",
                  "\\xA0\\xFD\\xFF"},
        // A lead byte cut from its pair, at the end or before a byte that cannot follow it:
        // the next byte is shown as itself.
        ShownCase{"Utf8LeadByteAtTheEnd", "utf-8", "A\x83", "A\\x83"},
        ShownCase{"Utf8LeadByteBeforeOneThatCannotFollow", "utf-8", "\x83 x,\x83\x66",
                  "\\x83 x,デ"},
        // A well-shaped pair that names no character is escaped whole, not as "\x85@".
        ShownCase{"Utf8PairThatNamesNoCharacter", "utf-8",
                  "\x85\x40"
                  "A",
                  "\\x85\\x40A"},
        ShownCase{"Utf8UnderAnotherName", "UTF8", "\x83\x66", "デ"},
        // Another terminal set: a character it lacks is escaped whole.
        ShownCase{"EucJpEscapesWhatItLacks", "EUC-JP", "\x83\x66\x87\x40", "\xA5\xC7\\x87\\x40"},
        // References to characters code page 932 lacks are shown as the characters, in hex of
        // either case or in decimal, up to eight digits, among other text.
        ShownCase{"Utf8ReferencesShown", "utf-8", "&#x2660;A,&#X1f0a1;\x83\x66&#9829;", "♠A,🂡デ♥"},
        ShownCase{"Utf8ReferencesOfUpToEightDigits", "utf-8", "&#x00002660;&#xA5;&#x301C;", "♠¥〜"},
        // Anything else stays as it is: text with an "&", references to characters code page
        // 932 holds, to control characters and to no character, and broken references.
        ShownCase{"Utf8AmpersandsAndReferencesCp932Holds", "utf-8", "R&D &amp; &#38; &#x41; &#x5C;",
                  "R&D &amp; &#38; &#x41; &#x5C;"},
        ShownCase{"Utf8ReferencesToControlsAndNoCharacter", "utf-8",
                  "&#x1B;&#x85;&#x202E;&#x2028;&#xD800;&#x110000;&#xFFFF;",
                  "&#x1B;&#x85;&#x202E;&#x2028;&#xD800;&#x110000;&#xFFFF;"},
        ShownCase{"Utf8BrokenReferences", "utf-8", "&#x2660&#x;&#;&#x000002660;&#x26 60;&",
                  "&#x2660&#x;&#;&#x000002660;&#x26 60;&"},
        ShownCase{"Utf8ReferencesAmongAmpersands", "utf-8", "&&#x2660;&#&#x2665;", "&♠&#♥"},
        // A terminal set that holds the character shows it; one that lacks it, the reference.
        ShownCase{"EucJpShowsWhatItHolds", "EUC-JP", "&#xE9;&#x2660;", "\x8F\xAB\xB1&#x2660;"},
        // Shift_JIS terminals get the bytes unchanged, whatever they are.
        ShownCase{"ShiftJisBytesUnchanged", "sjis", "\x80\x83\x66\x85\x40", "\x80\x83\x66\x85\x40"},
        ShownCase{"ShiftJisReferencesUnchanged", "sjis", "&#x2660;", "&#x2660;"},
        ShownCase{"Cp932LoneLeadByteUnchanged", "CP932", "\x83", "\x83"}),
    deckhand::testing::NameFrom<&ShownCase::name>());

struct TypedCase {
  const char* name;
  std::string encoding;
  std::string typed;
  std::optional<std::string> library_bytes;  // nullopt: refused
};

void PrintTo(const TypedCase& c, std::ostream* out) { *out << c.name; }

class TypedTest : public ::testing::TestWithParam<TypedCase> {};

TEST_P(TypedTest, ConvertsWholeOrRefuses) {
  const TypedCase& c = GetParam();
  std::string error;
  EXPECT_EQ(Open(c.encoding).ToLibrary(c.typed, &error), c.library_bytes);
  EXPECT_EQ(error.empty(), c.library_bytes.has_value()) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TypedTest,
    ::testing::Values(TypedCase{"Utf8Japanese", "utf-8", "deck,トランプ",
                                "deck,\x83\x67\x83\x89\x83\x93\x83\x76"},
                      TypedCase{"Utf8CodePageRows", "utf-8", "①～", "\x87\x40\x81\x60"},
                      TypedCase{"Utf8Empty", "utf-8", "", ""},
                      // No Shift_JIS form, or not UTF-8 at all: nothing may run on a text with
                      // characters missing.
                      TypedCase{"Utf8WithoutAShiftJisForm", "utf-8", "deck,\xF0\x9F\x98\x80",
                                std::nullopt},
                      TypedCase{"Utf8InvalidByte", "utf-8", "deck,\xFF", std::nullopt},
                      TypedCase{"Utf8CutCharacter", "utf-8", "deck,\xE3\x83", std::nullopt},
                      TypedCase{"ShiftJisBytesUnchanged", "sjis", "deck,\xFF", "deck,\xFF"}),
    deckhand::testing::NameFrom<&TypedCase::name>());

TEST(TerminalCodecTest, ShiftJisNamesPassBytesThrough) {
  for (std::string_view name : {"sjis", "SJIS", "Shift_JIS", "shift-jis", "cp932", "MS932"}) {
    EXPECT_TRUE(Open(name).passes_through()) << name;
  }
  EXPECT_FALSE(Open("utf-8").passes_through());
}

}  // namespace
}  // namespace deckhand::host
