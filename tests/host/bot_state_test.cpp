// The bot's own state file: deck owners and private decks, kept across restarts.
#include "host/common/bot_state.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/scratch_directory.h"

namespace deckhand::host {
namespace {

TEST(BotState, OwnersAndPrivateDecksComeBackFromItsFile) {
  deckhand::testing::ScratchDirectory scratch;
  const std::string odd = "[Tom]=;%\xE3\x80\x9C x";
  {
    BotState state("state", 5, 30);
    state.SetOwner("#t", "", {"account:" + odd, odd, 0});
    state.SetOwner("#t", "poker", {"nick:b", "b", 0});
    state.OwnerLeft("#t", "nick:b", 50);
    EXPECT_EQ(state.TableKey("account:" + odd, odd), "~1");
    EXPECT_EQ(state.TableKey("conn:b", "b"), "~2");
    EXPECT_EQ(state.ForPlayer("nick:" + odd, true, 100).target, "~deck1");
    EXPECT_EQ(state.ForPlayer("nick:b", true, 100).target, "~deck2");
    state.Save();
  }
  BotState state("state", 5, 30);
  std::string error;
  ASSERT_TRUE(state.Load(&error)) << error;
  ASSERT_NE(state.Owner("#t", ""), nullptr);
  EXPECT_EQ(state.Owner("#t", "")->key, "account:" + odd);
  EXPECT_EQ(state.Owner("#t", "")->nick, odd);
  ASSERT_NE(state.Owner("#t", "poker"), nullptr);
  EXPECT_EQ(state.Owner("#t", "poker")->left_at, 50);
  EXPECT_EQ(state.ForPlayer("nick:b", false, 200).target, "~deck2");
  EXPECT_EQ(state.ForPlayer("nick:" + odd, false, 200).target, "~deck1");
  ASSERT_NE(state.PlayerOfKey("~1"), nullptr);
  EXPECT_EQ(*state.PlayerOfKey("~1"), "account:" + odd);
  EXPECT_EQ(state.NameOf("account:" + odd), odd);
  EXPECT_EQ(state.TableKey("conn:c", "c"), "~3") << "a key is never given twice";
  std::filesystem::create_symlink("state", "link");
  BotState linked("link", 5, 30);
  EXPECT_FALSE(linked.Load(&error));
}

// A file an older bot wrote names each channel's main deck owner alone.
TEST(BotState, AnOlderFilesOwnersAreTheMainDecks) {
  deckhand::testing::ScratchDirectory scratch;
  scratch.Write("state", "# state\nowner #t nick:al al\n");
  BotState state("state", 5, 30);
  std::string error;
  ASSERT_TRUE(state.Load(&error)) << error;
  ASSERT_NE(state.Owner("#t", ""), nullptr);
  EXPECT_EQ(state.Owner("#t", "")->key, "nick:al");
}

}  // namespace
}  // namespace deckhand::host
