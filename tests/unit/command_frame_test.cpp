#include "commands/command_frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_names.h"

namespace deckhand {
namespace {

struct FieldsCase {
  const char* line;
  std::vector<std::string> fields;  // the fields present, in order
};

void PrintTo(const FieldsCase& c, std::ostream* out) { *out << ::testing::PrintToString(c.line); }

class CutCommandFieldsTest : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(CutCommandFieldsTest, CutsAtRunsOfSpacesOnly) {
  const FieldsCase& c = GetParam();
  CommandFields fields = CutCommandFields(c.line);
  const std::optional<std::string_view>* all[] = {&fields.user, &fields.target, &fields.mode_table,
                                                  &fields.command_text};
  for (std::size_t i = 0; i < 4; ++i) {
    if (i < c.fields.size()) {
      ASSERT_TRUE(all[i]->has_value()) << "field " << i + 1;
      EXPECT_EQ(**all[i], c.fields[i]) << "field " << i + 1;
    } else {
      EXPECT_FALSE(all[i]->has_value()) << "field " << i + 1;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CutCommandFieldsTest,
    ::testing::Values(
        FieldsCase{"nick #t modes.ini draw,1", {"nick", "#t", "modes.ini", "draw,1"}},
        FieldsCase{"   nick    #t  modes.ini   draw,1   ", {"nick", "#t", "modes.ini", "draw,1"}},
        FieldsCase{"nick #t modes.ini draw,1 fifth sixth", {"nick", "#t", "modes.ini", "draw,1"}},
        FieldsCase{"nick\t#t m d", {"nick\t#t", "m", "d"}}, FieldsCase{"nick #t", {"nick", "#t"}},
        FieldsCase{"nick", {"nick"}}, FieldsCase{"", {}}, FieldsCase{"      ", {}},
        FieldsCase{"u \x83\x5C\x83\x41 m x", {"u", "\x83\x5C\x83\x41", "m", "x"}},
        FieldsCase{"u #t\r\n m x", {"u", "#t\r\n", "m", "x"}}),
    deckhand::testing::NameFromPrinted());

std::string Reply(std::string_view target, std::string_view text) {
  std::vector<char> buffer(kReplyCapacity + 16, '\x7F');
  WriteReply(buffer.data(), target, text);
  for (std::size_t at = kReplyCapacity; at < buffer.size(); ++at) EXPECT_EQ(buffer[at], '\x7F');
  return std::string(buffer.data());
}

TEST(WriteReplyTest, FormatsNoticeTargetAndText) {
  EXPECT_EQ(Reply("#t", "52"), "NOTICE #t 52");
  EXPECT_EQ(Reply("#t", ""), "NOTICE #t ");
}

TEST(WriteReplyTest, CutsLongTextsAtWholeCharactersWithinTheBuffer) {
  const std::string target = "#t";  // "NOTICE #t " is 10 bytes, leaving 4085 for the text
  std::string ascii(5000, 'a');
  EXPECT_EQ(Reply(target, ascii).size(), kMaxReplyLength);

  std::string kana;
  for (int i = 0; i < 3000; ++i) kana += "\x83\x4A";
  std::string reply = Reply(target, kana);
  EXPECT_EQ(reply.size(), 10u + 4084u);  // 4085 would split the 2043rd character
  EXPECT_EQ(reply.substr(reply.size() - 2), "\x83\x4A");

  std::string shifted = "a" + kana;
  EXPECT_EQ(Reply(target, shifted).size(), kMaxReplyLength);
}

TEST(WriteReplyTest, WritesNothingWhenTheTargetAloneDoesNotFit) {
  std::vector<char> buffer(kReplyCapacity, 'x');
  std::string longest_target(kMaxReplyLength - 8, 't');
  ASSERT_TRUE(ReplyTextRoom(longest_target).has_value());
  EXPECT_EQ(*ReplyTextRoom(longest_target), 0u);
  EXPECT_FALSE(ReplyTextRoom(longest_target + "t").has_value());
  WriteReply(buffer.data(), longest_target + "t", "x");
  EXPECT_EQ(std::string(buffer.begin(), buffer.end()), std::string(kReplyCapacity, 'x'));
  EXPECT_EQ(Reply(longest_target, "abc").size(), kMaxReplyLength);
}

}  // namespace
}  // namespace deckhand
