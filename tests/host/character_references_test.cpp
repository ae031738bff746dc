// Character references, as the card converter writes them and the codecs read them.
#include "host/common/character_references.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace deckhand::host {
namespace {

// What the converter writes reads back as the same character, and its length is the whole
// reference: nothing after the ";" belongs to it.
TEST(CharacterReferenceTest, WrittenReferencesReadBack) {
  for (char32_t c : {U'\u00A5', U'\u2660', U'\U0001F0A1', U'\U0010FFFD'}) {
    std::string reference = WriteCharacterReference(c);
    std::optional<CharacterReference> read = ReadCharacterReference(reference + ";x");
    ASSERT_TRUE(read) << reference;
    EXPECT_EQ(read->code_point, c);
    EXPECT_EQ(read->length, reference.size());
  }
  EXPECT_EQ(WriteCharacterReference(U'\u2660'), "&#x2660;");
  EXPECT_EQ(Cp932FormOf(U'\u3042'), "\x82\xA0");    // あ
  EXPECT_EQ(Cp932FormOf(U'\u00A5'), std::nullopt);  // would come back as "\"
}

}  // namespace
}  // namespace deckhand::host
