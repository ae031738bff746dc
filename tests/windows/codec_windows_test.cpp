// deckhand's --encoding on Windows, where character sets are code page numbers: whatever a person
// types is refused with a message or accepted, and never ends the program with an exception; and
// character references decided by the platform's conversion as on every other system.
#include <gtest/gtest.h>

#include <string>

#include "host/common/encoding.h"

namespace deckhand::host {
namespace {

struct ChoiceCase {
  const char* name;
  const char* choice;
  bool opens;
};

class WindowsEncodingChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(WindowsEncodingChoiceTest, IsRefusedWithAMessageOrOpened) {
  std::string error;
  std::optional<TerminalCodec> codec;
  EXPECT_NO_THROW(codec = TerminalCodec::Open(GetParam().choice, &error));
  EXPECT_EQ(codec.has_value(), GetParam().opens) << error;
  EXPECT_EQ(error.empty(), GetParam().opens);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, WindowsEncodingChoiceTest,
    ::testing::Values(ChoiceCase{"Empty", "", false},
                      ChoiceCase{"HugeNumber", "99999999999", false},
                      ChoiceCase{"HugeCodePage", "cp99999999999999999999", false},
                      ChoiceCase{"BeyondSixteenBits", "65536", false},
                      ChoiceCase{"Number1252", "1252", true}, ChoiceCase{"Cp1252", "cp1252", true},
                      ChoiceCase{"Utf8", "utf-8", true}, ChoiceCase{"Number932", "932", true}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

// Only characters that code page 932 lacks, or holds one way only, are shown for references.
TEST(WindowsReferenceTest, ShowsWhatCodePage932Lacks) {
  std::string error;
  std::optional<TerminalCodec> utf8 = TerminalCodec::Open("utf-8", &error);
  ASSERT_TRUE(utf8) << error;
  EXPECT_EQ(utf8->ToTerminal("&#x2660;&#x1F0A1;&#xA5;&#x301C;"), "♠🂡¥〜");
  EXPECT_EQ(utf8->ToTerminal("&#x41; &#38; &#x1B; &#xFF5E;"), "&#x41; &#38; &#x1B; &#xFF5E;");
  std::optional<TerminalCodec> latin = TerminalCodec::Open("1252", &error);
  ASSERT_TRUE(latin) << error;
  EXPECT_EQ(latin->ToTerminal("&#xE9;&#x2660;"), "\xE9&#x2660;");
}

}  // namespace
}  // namespace deckhand::host
