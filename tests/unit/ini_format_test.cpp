// The INI rules, table-driven over file contents as users and older tools wrote them.
#include "storage/ini_format.h"

#include <gtest/gtest.h>

#include <random>

#include "support/test_names.h"

namespace deckhand {
namespace {

struct ReadCase {
  const char* rule;
  std::string content;
  std::string section;
  std::string key;
  std::optional<std::string> value;  // nullopt: not found
};

class IniReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReadTest, FindsWhatTheRulesSay) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(FindIniValue(c.content, c.section, c.key), c.value) << c.rule;
  // The same read from a file that arrives in pieces, cut anywhere: in two at every byte, and
  // a byte at a time.
  for (std::size_t cut = 0; cut <= c.content.size(); ++cut) {
    IniValueFinder finder(c.section, c.key);
    if (finder.Feed(std::string_view(c.content).substr(0, cut))) {
      finder.Feed(std::string_view(c.content).substr(cut));
    }
    EXPECT_EQ(finder.Finish(), c.value) << c.rule << ", cut at " << cut;
  }
  IniValueFinder bytewise(c.section, c.key);
  for (std::size_t at = 0; at < c.content.size(); ++at) {
    if (!bytewise.Feed(std::string_view(c.content).substr(at, 1))) break;
  }
  EXPECT_EQ(bytewise.Finish(), c.value) << c.rule << ", a byte at a time";
}

INSTANTIATE_TEST_SUITE_P(
    LinesAndBreaks, IniReadTest,
    ::testing::Values(
        ReadCase{"CRLF", "[S]\r\nk=v\r\n", "S", "k", "v"},
        ReadCase{"LF", "[S]\nk=v\n", "S", "k", "v"},
        ReadCase{"CR only", "[S]\rk=v\r", "S", "k", "v"},
        ReadCase{"no final break", "[S]\r\nk=v", "S", "k", "v"},
        ReadCase{"a mark past the file's start is no byte-order mark", "[S]\r\n\xEF\xBB\xBFk=v\r\n",
                 "S", "k", std::nullopt},
        ReadCase{"runs of breaks", "[S]\r\n\r\n\n\rk=v\r\n\r\n", "S", "k", "v"},
        // Line ends of every kind in one file: a lone CR far ahead of the next LF, and the
        // other way round, must each end their own line.
        ReadCase{"mixed line ends", "[S]\na=1\rb=2\r\nk=v\nz=9", "S", "k", "v"},
        ReadCase{"CR ends a value among LF lines", "[S]\nx=1\nk=v\rw=2\n", "S", "k", "v"},
        ReadCase{"LF ends a value among CR lines", "[S]\rx=1\rk=v\nw=2\r", "S", "w", "2"},
        ReadCase{"trimmed both ends", "  [S]  \r\n \t k \t = \t v w \x1A\r\n", "S", "k", "v w"},
        ReadCase{"vertical tab and form feed trimmed", "[S]\r\n\x0Bk\x0C=\x0Bv\x0C\r\n", "S", "k",
                 "v"},
        ReadCase{"comment line", "[S]\r\n;k=v\r\nk=w\r\n", "S", "k", "w"},
        ReadCase{"indented comment", "[S]\r\n   ;k=v\r\n", "S", "k", std::nullopt},
        ReadCase{"semicolon inside value is kept", "[S]\r\nk=a;b\r\n", "S", "k", "a;b"},
        ReadCase{"line without an equals sign is no key", "[S]\r\nk\r\nk v\r\n", "S", "k",
                 std::nullopt},
        ReadCase{"first equals sign splits", "[S]\r\nk=a=b\r\n", "S", "k", "a=b"},
        ReadCase{"empty value", "[S]\r\nk=\r\n", "S", "k", ""},
        ReadCase{"empty key", "[S]\r\n=v\r\n", "S", "", std::nullopt},
        ReadCase{"keys before any section are never found", "k=v\r\n[S]\r\n", "S", "k",
                 std::nullopt},
        ReadCase{"UTF-8 BOM skipped", "\xEF\xBB\xBF[S]\r\nk=v\r\n", "S", "k", "v"},
        ReadCase{"UTF-16 BOM not recognised", "\xFF\xFE[S]\r\nk=v\r\n", "S", "k", std::nullopt},
        ReadCase{"NUL inside a value is a byte", std::string("[S]\r\nk=a\0b\r\n", 11), "S", "k",
                 std::string("a\0b", 3)}),
    deckhand::testing::NameFrom<&ReadCase::rule>());

INSTANTIATE_TEST_SUITE_P(
    SectionsAndNames, IniReadTest,
    ::testing::Values(
        ReadCase{"section name trimmed", "[  S  ]\r\nk=v\r\n", "S", "k", "v"},
        ReadCase{"text after the closing bracket ignored", "[S] trailing\r\nk=v\r\n", "S", "k",
                 "v"},
        ReadCase{"no closing bracket takes the rest", "[S\r\nk=v\r\n", "S", "k", "v"},
        ReadCase{"letter case of sections", "[deck]\r\nk=v\r\n", "DECK", "k", "v"},
        ReadCase{"letter case of keys", "[S]\r\nMAX=5\r\n", "S", "Max", "5"},
        ReadCase{"first section wins", "[S]\r\na=1\r\n[S]\r\nb=2\r\n", "S", "b", std::nullopt},
        ReadCase{"first key wins", "[S]\r\nk=1\r\nK=2\r\n", "S", "k", "1"},
        ReadCase{"other section", "[T]\r\nk=v\r\n", "S", "k", std::nullopt},
        ReadCase{"section ends at the next header", "[S]\r\n[T]\r\nk=v\r\n", "S", "k",
                 std::nullopt},
        // ソ is 83 5C and ] can be a second byte: 83 5D is a katakana, not the end.
        ReadCase{"closing bracket as second byte", "[\x83\x5D\x83\x5C]\r\nk=v\r\n",
                 "\x83\x5D\x83\x5C", "k", "v"},
        ReadCase{"Shift_JIS key", "[S]\r\n\x83\x4A\x81\x5B\x83\x68=v\r\n", "S",
                 "\x83\x4A\x81\x5B\x83\x68", "v"},
        ReadCase{"second byte A is not a", "[S]\r\n\x83\x41=v\r\n", "S", "\x83\x61", std::nullopt},
        ReadCase{"full-width letters do not fold", "[S]\r\n\x82\x60=v\r\n", "S", "\x82\x81",
                 std::nullopt}),
    deckhand::testing::NameFrom<&ReadCase::rule>());

INSTANTIATE_TEST_SUITE_P(
    Quotes, IniReadTest,
    ::testing::Values(ReadCase{"double quotes", "[S]\r\nk=\"a b\"\r\n", "S", "k", "a b"},
                      ReadCase{"inner spaces kept", "[S]\r\nk=\" x \"\r\n", "S", "k", " x "},
                      ReadCase{"one pair only", "[S]\r\nk=''x''\r\n", "S", "k", "'x'"},
                      ReadCase{"mismatched", "[S]\r\nk=\"x'\r\n", "S", "k", "\"x'"},
                      ReadCase{"single quote alone", "[S]\r\nk=\"\r\n", "S", "k", "\""},
                      ReadCase{"empty quotes", "[S]\r\nk=\"\"\r\n", "S", "k", ""}),
    deckhand::testing::NameFrom<&ReadCase::rule>());

struct NumberCase {
  std::string text;
  std::int32_t value;
};

void PrintTo(const NumberCase& c, std::ostream* out) { *out << ::testing::PrintToString(c.text); }

class IniNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(IniNumberTest, ReadsLeadingDecimalDigits) {
  EXPECT_EQ(ParseIniNumber(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniNumberTest,
    ::testing::Values(NumberCase{"52", 52}, NumberCase{"-1", -1}, NumberCase{"+7", 7},
                      NumberCase{"42abc", 42}, NumberCase{" 7", 7}, NumberCase{"\x01\x02 9", 9},
                      NumberCase{"", 0}, NumberCase{"abc", 0}, NumberCase{"--5", 0},
                      NumberCase{"0x10", 0}, NumberCase{"2147483647", 2147483647},
                      NumberCase{"2147483648", -2147483647 - 1}, NumberCase{"4294967297", 1},
                      NumberCase{"-4294967295", 1}),
    deckhand::testing::NameFromPrinted());

// A file written only through the writer, from nothing, is exactly what the platform's own
// profile writer produces for the same sequence of writes.
TEST(IniWriteTest, BuildsFilesByteForByteAsThePlatformWrites) {
  std::string file;
  auto write = [&file](std::string_view section, std::string_view key, std::string_view value) {
    std::optional<std::string> next = WithIniValue(file, section, key, value);
    ASSERT_TRUE(next.has_value());
    file = *next;
  };
  write("DECK", "#table", "A,B,C");
  EXPECT_EQ(file, "[DECK]\r\n#table=A,B,C\r\n");
  write("DECK", "#other", "");
  EXPECT_EQ(file, "[DECK]\r\n#table=A,B,C\r\n#other=\r\n");
  write("DECK", "#TABLE", "B");
  EXPECT_EQ(file, "[DECK]\r\n#table=B\r\n#other=\r\n");
  write("MODE", "trump", "trump.ini");
  EXPECT_EQ(file, "[DECK]\r\n#table=B\r\n#other=\r\n[MODE]\r\ntrump=trump.ini\r\n");
  write("DECK", "\x83\x5C", "\x83\x4A");
  EXPECT_EQ(file,
            "[DECK]\r\n#table=B\r\n#other=\r\n\x83\x5C=\x83\x4A\r\n[MODE]\r\ntrump=trump.ini\r\n");
}

struct EditCase {
  const char* rule;
  std::string before;
  std::string key;
  std::string value;
  std::string after;
};

class IniEditTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(IniEditTest, ChangesOneLineAndKeepsEveryOtherByte) {
  const EditCase& c = GetParam();
  EXPECT_EQ(WithIniValue(c.before, "DECK", c.key, c.value), c.after) << c.rule;
  // A change of several entries makes each one exactly as a change of one does.
  EXPECT_EQ(WithIniValues(c.before, {{"DECK", c.key, c.value}}), c.after) << c.rule;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniEditTest,
    ::testing::Values(
        EditCase{"replace keeps the key's spelling and line end", "[deck]\n  #T = old  \n", "#t",
                 "new", "[deck]\n#T=new\n"},
        EditCase{"replace at the end without a break adds CRLF", "[DECK]\r\n#t=old", "#t", "new",
                 "[DECK]\r\n#t=new\r\n"},
        EditCase{"replace keeps comments and other sections",
                 "; saved decks\r\n[DECK]\r\n; table one\r\n#t=A\r\n\r\n[MODE]\r\nx=y\r\n", "#t",
                 "B", "; saved decks\r\n[DECK]\r\n; table one\r\n#t=B\r\n\r\n[MODE]\r\nx=y\r\n"},
        EditCase{"only the first duplicate changes", "[DECK]\r\n#t=A\r\n#t=B\r\n", "#t", "C",
                 "[DECK]\r\n#t=C\r\n#t=B\r\n"},
        EditCase{"new key after the last key line, before trailing comments",
                 "[DECK]\r\n#a=A\r\n; end\r\n\r\n[MODE]\r\n", "#b", "B",
                 "[DECK]\r\n#a=A\r\n#b=B\r\n; end\r\n\r\n[MODE]\r\n"},
        EditCase{"new key right after a header with no keys", "[DECK]\n; none yet\n", "#b", "B",
                 "[DECK]\n#b=B\r\n; none yet\n"},
        EditCase{"new key when the last key line has no break", "[DECK]\r\n#a=A", "#b", "B",
                 "[DECK]\r\n#a=A\r\n#b=B\r\n"},
        // The empty key is written escaped, so a plain empty one is none of its entries.
        EditCase{"a plain empty key is no entry of the empty key", "[DECK]\r\n=v\r\n", "", "A",
                 "[DECK]\r\n=v\r\n~  ~=A\r\n"},
        EditCase{"new key in the first of duplicate sections",
                 "[DECK]\r\n#a=A\r\n[DECK]\r\n#c=C\r\n", "#b", "B",
                 "[DECK]\r\n#a=A\r\n#b=B\r\n[DECK]\r\n#c=C\r\n"},
        EditCase{"new section at the end after a missing break", "[MODE]\r\nx=y", "#b", "B",
                 "[MODE]\r\nx=y\r\n[DECK]\r\n#b=B\r\n"},
        EditCase{"new section in an empty file", "", "#b", "B", "[DECK]\r\n#b=B\r\n"},
        EditCase{"BOM kept", "\xEF\xBB\xBF", "#b", "B", "\xEF\xBB\xBF[DECK]\r\n#b=B\r\n"},
        EditCase{"LF file keeps its untouched LF lines", "[DECK]\n#a=A\n#b=B\n", "#a", "Z",
                 "[DECK]\n#a=Z\n#b=B\n"},
        EditCase{"Shift_JIS key with letter second byte is its own key", "[DECK]\r\n\x83\x41=1\r\n",
                 "\x83\x61", "2", "[DECK]\r\n\x83\x41=1\r\n\x83\x61=2\r\n"}),
    deckhand::testing::NameFrom<&EditCase::rule>());

struct RoundTripCase {
  const char* what;
  std::string key;
  std::string value;
  std::string written_line;  // the line the writer produces
};

class IniRoundTripTest : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(IniRoundTripTest, WritesOnlyLinesThatReadBackAsTheEntryMeant) {
  const RoundTripCase& c = GetParam();
  const std::string before = "[DECK]\r\n#keep=A,B\r\n";
  std::optional<std::string> after = WithIniValue(before, "DECK", c.key, c.value);
  ASSERT_TRUE(after.has_value()) << c.what;
  EXPECT_EQ(*after, before + c.written_line + "\r\n") << c.what;
  EXPECT_EQ(FindIniValue(*after, "DECK", c.key), c.value) << c.what;
  EXPECT_EQ(FindIniValue(*after, "DECK", "#keep"), "A,B") << c.what;
  // Writing again replaces the same line instead of adding one.
  std::optional<std::string> again = WithIniValue(*after, "DECK", c.key, "Z");
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(FindIniValue(*again, "DECK", c.key), "Z") << c.what;
  EXPECT_EQ(std::count(again->begin(), again->end(), '\n'), 3) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRoundTripTest,
    ::testing::Values(RoundTripCase{"IRC nick in brackets", "[Tom]", "A", "~ [Tom] ~=A"},
                      RoundTripCase{"channel with an equals sign", "#a=b", "A", "~ #a%3Db ~=A"},
                      RoundTripCase{"comment start", ";x", "A", "~ ;x ~=A"},
                      RoundTripCase{"empty key", "", "A", "~  ~=A"},
                      RoundTripCase{"surrounding tab", "\t#t", "A", "~ %09#t ~=A"},
                      RoundTripCase{"line break inside", "#a\r\nb", "A", "~ #a%0D%0Ab ~=A"},
                      RoundTripCase{"percent in an escaped key", "[50%]", "A", "~ [50%25] ~=A"},
                      RoundTripCase{"looks like an escape", "~ x", "A", "~ ~%20x ~=A"},
                      RoundTripCase{"plain percent stays plain", "#50%", "A", "#50%=A"},
                      RoundTripCase{"value with surrounding spaces", "#t", " A ", "#t=\" A \""},
                      RoundTripCase{"value in quotes", "#t", "\"A\"", "#t=\"\"A\"\""},
                      RoundTripCase{"value in single quotes", "#t", "'A'", "#t=\"'A'\""},
                      RoundTripCase{"lone quote stays plain", "#t", "\"A", "#t=\"A"}),
    deckhand::testing::NameFrom<&RoundTripCase::what>());

TEST(IniEscapeTest, EscapedKeysMatchWithoutRegardToLetterCase) {
  std::string file = *WithIniValue("", "DECK", "[Tom]", "A");
  EXPECT_EQ(FindIniValue(file, "DECK", "[TOM]"), "A");
  EXPECT_EQ(FindIniValue(file, "DECK", "Tom"), std::nullopt);
}

TEST(IniEscapeTest, HandWrittenLookalikesAreLiteralKeys) {
  // Not exactly the escaped form of a key that needs escaping: read as written.
  EXPECT_EQ(EffectiveIniKey("~ foo ~"), "~ foo ~");
  EXPECT_EQ(EffectiveIniKey("~ %3d ~"), "~ %3d ~");
  EXPECT_EQ(EffectiveIniKey("~ %3 ~"), "~ %3 ~");
  EXPECT_EQ(EffectiveIniKey("~ %3D ~"), "=");
  EXPECT_EQ(FindIniValue("[DECK]\r\n~ foo ~=A\r\n", "DECK", "foo"), std::nullopt);
}

TEST(IniWriteTest, RefusesValuesThatWouldInjectLines) {
  for (const std::string& value : {std::string("A\r\n[DECK]"), std::string("A\nB"),
                                   std::string("A\rB"), std::string("A\0B", 3)}) {
    EXPECT_EQ(WithIniValue("[DECK]\r\n", "DECK", "#t", value), std::nullopt);
  }
}

// Several entries set at once give the file that setting them one after another gives, on files
// built from the lines users and the platform write.
TEST(IniValuesTest, SettingSeveralAtOnceEqualsSettingThemInTurn) {
  const std::vector<std::string> lines = {"[DECK]", "[TABLE]", "[MODE]", "#a=1",     "#B=2",
                                          "; note", "",        "x=y",    "#c=\"q\"", "[deck]"};
  const std::vector<std::string> keys = {"#a", "#b", "#c", "#d", "[x]", "#a,,discard"};
  const std::vector<std::string> sections = {"DECK", "TABLE", "NEW"};
  std::mt19937 random(20);
  for (int round = 0; round < 2000; ++round) {
    std::string content;
    for (int n = std::uniform_int_distribution<int>(0, 8)(random); n > 0; --n) {
      content += lines[random() % lines.size()];
      content += random() % 4 == 0 ? "\n" : "\r\n";
    }
    if (random() % 3 == 0 && !content.empty()) content.resize(content.size() - 1);
    std::vector<IniValueChange> changes;
    std::string in_turn = content;
    for (int n = std::uniform_int_distribution<int>(1, 4)(random); n > 0; --n) {
      IniValueChange change{sections[random() % sections.size()], keys[random() % keys.size()],
                            "v" + std::to_string(random() % 10)};
      bool repeated = false;
      for (const IniValueChange& earlier : changes) {
        repeated |= earlier.section == change.section && earlier.key == change.key;
      }
      if (repeated) continue;
      in_turn = *WithIniValue(in_turn, change.section, change.key, *change.value);
      changes.push_back(change);
    }
    ASSERT_EQ(WithIniValues(content, changes), in_turn) << "content: " << content;
    // The one-pass lookup finds the value FindIniValue finds.
    EXPECT_EQ(LookUpIniEntries(in_turn, "deck", "#A", "TABLE", "#a,").value,
              FindIniValue(in_turn, "deck", "#A"))
        << in_turn;
  }
}

TEST(IniValuesTest, RemovesLinesAndLeavesEveryOtherByte) {
  std::string file = "[DECK]\r\n#t=A\r\n[TABLE]\r\n#t,,discard=U:B\r\n; kept\r\n#t,,hand,al=U:C";
  EXPECT_EQ(WithIniValues(file, {{"TABLE", "#T,,DISCARD", std::nullopt},
                                 {"TABLE", "#t,,hand,al", std::nullopt},
                                 {"TABLE", "#t,,hand,bo", std::nullopt}}),
            "[DECK]\r\n#t=A\r\n[TABLE]\r\n; kept\r\n");
  // A new key goes where the removed last key stood.
  EXPECT_EQ(WithIniValues(file, {{"TABLE", "#t,,hand,al", std::nullopt},
                                 {"TABLE", "#t,,hand,bo", "U:C"},
                                 {"DECK", "#t", ""}}),
            "[DECK]\r\n#t=\r\n[TABLE]\r\n#t,,discard=U:B\r\n; kept\r\n#t,,hand,bo=U:C\r\n");
}

TEST(IniValuesTest, RefusesValuesThatWouldInjectLinesAndKeysNamedTwice) {
  EXPECT_EQ(WithIniValues("", {{"DECK", "#a", "x"}, {"DECK", "#b", "y\r\n[MODE]"}}), std::nullopt);
  EXPECT_EQ(WithIniValues("", {{"DECK", "#a", "x"}, {"deck", "#A", "y"}}), std::nullopt);
}

TEST(IniValuesTest, CollectsTheFirstOfEachKeyWithThePrefixWhileLookingUpAValue) {
  std::string file =
      "[DECK]\r\n#t=A\r\n[TABLE]\r\n#t,,a=1\r\n#tt,,a=2\r\n#T,,A=3\r\n~ [x],,a ~=4\r\n"
      "#t,b=\"5 \"\r\n#T,C=7\r\n[TABLE]\r\n#t,c=6\r\n[DECK]\r\n#u=B\r\n";
  IniLookup found = LookUpIniEntries(file, "deck", "#T", "table", "#t,");
  EXPECT_EQ(found.value, "A");
  ASSERT_EQ(found.entries.size(), 3u);
  EXPECT_EQ(found.entries[0].key, "#t,,a");
  EXPECT_EQ(found.entries[0].value, "1");
  EXPECT_EQ(found.entries[1].key, "#t,b");
  EXPECT_EQ(found.entries[1].value, "5 ");
  EXPECT_EQ(found.entries[2].key, "#T,C");
  EXPECT_EQ(LookUpIniEntries(file, "DECK", "#u", "TABLE", "#t,").value, std::nullopt);
  std::vector<IniEntry> escaped = LookUpIniEntries(file, "DECK", "#t", "TABLE", "[X],").entries;
  ASSERT_EQ(escaped.size(), 1u);
  EXPECT_EQ(escaped[0].key, "[x],,a");
}

}  // namespace
}  // namespace deckhand
