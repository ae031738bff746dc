#include "host/common/wire_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "host/common/encoding.h"
#include "host/common/log.h"

namespace deckhand::host {
namespace {

// Codes given as numbers: one-byte codes below 0x100, two-byte codes lead byte first.
std::string Bytes(unsigned code) {
  if (code < 0x100) return std::string(1, static_cast<char>(code));
  return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

bool IsOneCharacter(std::string_view utf8) {
  std::size_t starts = 0;
  for (char byte : utf8) starts += (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
  return starts == 1;
}

// Every code that the system's converter takes as one whole CP932 character.
std::vector<unsigned> AcceptedCodes() {
  std::vector<unsigned> codes;
  for (unsigned code = 0; code < 0x10000; ++code) {
    std::string bytes = Bytes(code);
    std::string utf8;
    if (ConvertPrefix("CP932", "UTF-8", bytes, utf8) == bytes.size() && IsOneCharacter(utf8)) {
      codes.push_back(code);
    }
  }
  return codes;
}

std::string Utf8Of(const std::string& cp932) {
  std::string utf8;
  ConvertPrefix("CP932", "UTF-8", cp932, utf8);
  return utf8;
}

// How a code that does not come back as itself comes back.
enum class Back { kSameCharacter, kMark };
struct NotKept {
  unsigned first;
  unsigned last;
  Back back;
};

struct RoundTripCase {
  const char* name;
  WireEncoding encoding;
  std::vector<NotKept> not_kept;  // as documented on WireCodec
};

// Bytes that would break the line, and CTCP's \x01 and ESC, which a client acts on.
const std::vector<NotKept> kLineBreakers = {{0x00, 0x00, Back::kMark},
                                            {0x01, 0x01, Back::kMark},
                                            {0x0A, 0x0A, Back::kMark},
                                            {0x0D, 0x0D, Back::kMark},
                                            {0x1B, 0x1B, Back::kMark}};

std::vector<NotKept> With(std::vector<NotKept> more) {
  more.insert(more.end(), kLineBreakers.begin(), kLineBreakers.end());
  return more;
}

class WireRoundTripTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(WireRoundTripTest, EveryCharacterComesBackAsDocumented) {
  const RoundTripCase& test = GetParam();
  WireCodec codec(test.encoding);
  std::vector<unsigned> codes = AcceptedCodes();
  ASSERT_GT(codes.size(), 9000u);
  const std::string mark_on_wire =
      test.encoding == WireEncoding::kUtf8 ? "\xEF\xBF\xBD" : codec.ToWire("\x81\xAC");
  std::set<unsigned> expected_lost;
  std::set<unsigned> lost;
  for (unsigned code : codes) {
    const NotKept* rule = nullptr;
    for (const NotKept& range : test.not_kept) {
      if (code >= range.first && code <= range.last) rule = &range;
    }
    if (rule != nullptr) expected_lost.insert(code);
    std::string original = Bytes(code);
    std::string wire = codec.ToWire(original);
    if (rule != nullptr && rule->back == Back::kMark) {
      EXPECT_EQ(wire, mark_on_wire) << std::hex << code;
      if (wire == mark_on_wire) lost.insert(code);
      continue;
    }
    std::optional<std::string> back = codec.ToLibrary(wire);
    ASSERT_TRUE(back.has_value()) << std::hex << code;
    if (*back == original) continue;
    lost.insert(code);
    if (rule != nullptr) {
      EXPECT_EQ(Utf8Of(*back), Utf8Of(original)) << std::hex << code;
    }
  }
  EXPECT_EQ(lost, expected_lost);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, WireRoundTripTest,
    testing::Values(RoundTripCase{"Utf8", WireEncoding::kUtf8,
                                  With({{0x8790, 0x8792, Back::kSameCharacter},
                                        {0x8795, 0x8797, Back::kSameCharacter},
                                        {0x879A, 0x879C, Back::kSameCharacter},
                                        {0xED40, 0xEEFC, Back::kSameCharacter},
                                        {0xFA4A, 0xFA54, Back::kSameCharacter},
                                        {0xFA58, 0xFA5B, Back::kSameCharacter}})},
                    RoundTripCase{"Iso2022Jp", WireEncoding::kIso2022Jp,
                                  With({{0x0E, 0x0F, Back::kMark},
                                        {0x1B, 0x1B, Back::kMark},
                                        {0xF040, 0xF9FC, Back::kMark},
                                        {0xFA40, 0xFC4B, Back::kSameCharacter}})},
                    RoundTripCase{"ShiftJis", WireEncoding::kShiftJis, With({})}),
    [](const testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

struct ToWireCase {
  const char* name;
  WireEncoding encoding;
  std::string cp932;
  std::string wire;
};

class ToWireTest : public testing::TestWithParam<ToWireCase> {};

TEST_P(ToWireTest, WritesTheWireForm) {
  EXPECT_EQ(WireCodec(GetParam().encoding).ToWire(GetParam().cp932), GetParam().wire);
}

// ① is 0x8740 (NEC row 13), Ⅳ 0x8757, ｱ 0xB1, あ 0x82A0, 髙 0xFBFC (an IBM extension, sent as
// its NEC-selected code 0xEEE0).
INSTANTIATE_TEST_SUITE_P(
    Forms, ToWireTest,
    testing::Values(
        ToWireCase{"Iso2022JpNecRowThirteen", WireEncoding::kIso2022Jp, "A\x87\x40\x87\x57",
                   "A\x1B$B-!-8\x1B(B"},
        ToWireCase{"Iso2022JpKanaAndKanji", WireEncoding::kIso2022Jp,
                   "\xB1"
                   "a\x82\xA0\xB1",
                   "\x1B(I1\x1B(Ba\x1B$B$\"\x1B(I1\x1B(B"},
        ToWireCase{"Iso2022JpIbmExtensionAsItsNecCode", WireEncoding::kIso2022Jp, "\xFB\xFC",
                   "\x1B$B|b\x1B(B"},
        ToWireCase{"Iso2022JpEscapeAndHalfCharacterMarked", WireEncoding::kIso2022Jp,
                   "\x1B"
                   "x\x82",
                   "\x1B$B\".\x1B(Bx\x1B$B\".\x1B(B"},
        ToWireCase{"Utf8NecKanaAndUnmappedBytes", WireEncoding::kUtf8, "a\x87\x40\xB1\x80\x81",
                   "a\xE2\x91\xA0\xEF\xBD\xB1\xEF\xBF\xBD\xEF\xBF\xBD"},
        ToWireCase{"Utf8LineBreakersMarked", WireEncoding::kUtf8, std::string("x\0\r\n", 4),
                   "x\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        ToWireCase{"ShiftJisUnassignedMarked", WireEncoding::kShiftJis, "\x82\xA0\x85\x40\xFF",
                   "\x82\xA0\x81\xAC\x81\xAC"},
        // Character references: their characters on UTF-8; as they stand where the
        // wire lacks them, or when they stand for nothing.
        ToWireCase{"Utf8ReferencesAsTheirCharacters", WireEncoding::kUtf8,
                   "&#x2660;A,&#x1F0A1;\x82\xA0", "♠A,🂡\xE3\x81\x82"},
        ToWireCase{"Utf8ReferencesToNothingStay", WireEncoding::kUtf8, "R&D &#38; &#x1B; &#x2660",
                   "R&D &#38; &#x1B; &#x2660"},
        ToWireCase{"Iso2022JpReferencesStay", WireEncoding::kIso2022Jp, "&#x2660;\x82\xA0",
                   "&#x2660;\x1B$B$\"\x1B(B"},
        ToWireCase{"ShiftJisReferencesStay", WireEncoding::kShiftJis, "&#x2660;", "&#x2660;"}),
    [](const testing::TestParamInfo<ToWireCase>& info) { return info.param.name; });

// A reply is never cut inside a reference: a reader on a wire that cannot show the character
// must see it whole.
TEST(ToWireTest, ReferencesAreNeverCut) {
  std::string reference = "&#x1F0A1;";
  EXPECT_EQ(Cp932CharacterLength(reference + "x"), reference.size());
  EXPECT_EQ(Cp932CharacterLength("&#38;x"), 1u);
  WireCodec::LineWriter line(WireEncoding::kIso2022Jp);
  line.Append(reference);
  EXPECT_EQ(std::move(line).Finish(), reference);
}

struct ToLibraryCase {
  const char* name;
  WireEncoding encoding;
  std::string wire;
  std::optional<std::string> cp932;
};

class ToLibraryTest : public testing::TestWithParam<ToLibraryCase> {};

TEST_P(ToLibraryTest, ReadsTheWireOrRefuses) {
  EXPECT_EQ(WireCodec(GetParam().encoding).ToLibrary(GetParam().wire), GetParam().cp932);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ToLibraryTest,
    testing::Values(
        ToLibraryCase{"Utf8Japanese", WireEncoding::kUtf8, "!draw,\xE3\x81\x82", "!draw,\x82\xA0"},
        ToLibraryCase{"Utf8WaveDash", WireEncoding::kUtf8, "\xE3\x80\x9C",
                      "\x81\x60"},  // the wave dash people type
        ToLibraryCase{"Utf8NotInCp932", WireEncoding::kUtf8, "\xC3\xA9",
                      std::nullopt},  // é: not in CP932
        ToLibraryCase{"Utf8InvalidByte", WireEncoding::kUtf8, "a\xFF", std::nullopt},
        ToLibraryCase{"Utf8CutCharacter", WireEncoding::kUtf8, "\xE3\x81", std::nullopt},
        ToLibraryCase{"Iso2022JpOldJisRomanAndShiftedKana", WireEncoding::kIso2022Jp,
                      "\x1B$@$\"\x1B(Jx\x0E\x31\x0F", "\x82\xA0x\xB1"},
        ToLibraryCase{"Iso2022JpLeftInJis", WireEncoding::kIso2022Jp, "\x1B$B$\"",
                      "\x82\xA0"},  // left in JIS: taken
        ToLibraryCase{"Iso2022JpHalfCharacter", WireEncoding::kIso2022Jp, "\x1B$B$",
                      std::nullopt},  // half a character
        ToLibraryCase{"Iso2022JpRowNinetyFour", WireEncoding::kIso2022Jp, "\x1B$B~~",
                      std::nullopt},  // row 94: nothing
        ToLibraryCase{"Iso2022JpSupplementaryKanjiRefused", WireEncoding::kIso2022Jp, "\x1B$(D!!",
                      std::nullopt},
        ToLibraryCase{"Iso2022JpKanaOutOfRange", WireEncoding::kIso2022Jp, "\x1B(I\x60",
                      std::nullopt},
        ToLibraryCase{"Iso2022JpEightBitBytes", WireEncoding::kIso2022Jp, "\xE3\x81\x82",
                      std::nullopt},
        ToLibraryCase{"Iso2022JpLoneEscape", WireEncoding::kIso2022Jp, "\x1B", std::nullopt},
        ToLibraryCase{"ShiftJisKanjiAndKana", WireEncoding::kShiftJis, "\x82\xA0\xB1",
                      "\x82\xA0\xB1"},
        ToLibraryCase{"ShiftJisHalfCharacter", WireEncoding::kShiftJis, "\x82", std::nullopt},
        ToLibraryCase{"ShiftJisUnassigned", WireEncoding::kShiftJis, "\x85\x40", std::nullopt},
        ToLibraryCase{"ShiftJisInvalidByte", WireEncoding::kShiftJis, "a\x80", std::nullopt},
        ToLibraryCase{"Utf8Nul", WireEncoding::kUtf8, std::string("a\0b", 3), std::nullopt},
        ToLibraryCase{"Iso2022JpCarriageReturn", WireEncoding::kIso2022Jp, "a\rb", std::nullopt},
        ToLibraryCase{"ShiftJisLineFeed", WireEncoding::kShiftJis, "a\nb", std::nullopt}),
    [](const testing::TestParamInfo<ToLibraryCase>& info) { return info.param.name; });

// Every log line is UTF-8: the library's Shift_JIS converted, also beside UTF-8 in one line,
// what converts to nothing and control characters as \xNN.
TEST(LogTextTest, IsUtf8WhateverItIsGiven) {
  const std::pair<std::string, std::string> cases[] = {
      {"mode \"\x83\x5E\x83\x8D\x83\x62\x83\x67\" for alice", "mode \"タロット\" for alice"},
      {"ナツ: \x83\x5E\x83\x5C", "ナツ: タソ"},  // a trail byte 0x5C, the backslash
      {"\x82\xA0\x80\xFF\x82", "あ\\x80\\xFF\\x82"},
      {"a\x1B[31mb\r\x01\tc\xC2\x85", "a\\x1B[31mb\\x0D\\x01\tc\\xC2\\x85"},
      {"&#x2660; ♠", "&#x2660; ♠"}};
  for (const auto& [message, logged] : cases) EXPECT_EQ(LogText(message), logged) << message;
}

TEST(ParseWireEncodingTest, KnowsTheNames) {
  const std::pair<std::string_view, std::optional<WireEncoding>> cases[] = {
      {"utf-8", WireEncoding::kUtf8},
      {"UTF8", WireEncoding::kUtf8},
      {"ISO-2022-JP", WireEncoding::kIso2022Jp},
      {"shift_jis", WireEncoding::kShiftJis},
      {"SJIS", WireEncoding::kShiftJis},
      {"latin1", std::nullopt},
      {"", std::nullopt},
      {"utf-16", std::nullopt}};
  for (auto [name, encoding] : cases) EXPECT_EQ(ParseWireEncoding(name), encoding) << name;
}

}  // namespace
}  // namespace deckhand::host
