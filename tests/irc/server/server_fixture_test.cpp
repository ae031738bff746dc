// The test server itself: it comes up on its ports, relays between clients, and comes back on
// the same port after a crash (the bot's reconnection tests rely on that).
#include <gtest/gtest.h>

#include <filesystem>

#include "irc/server/irc_test_client.h"
#include "irc/server/ngircd_server.h"
#include "support/scratch_directory.h"

namespace deckhand::irc::testing {
namespace {

TEST(NgircdServerTest, RelaysBetweenClientsAndComesBackOnItsPort) {
  if (FindNgircd().empty()) GTEST_SKIP() << "ngircd is not installed (Debian package ngircd)";
  deckhand::testing::ScratchDirectory scratch;
  NgircdServer server(scratch.path());
  ASSERT_TRUE(server.Start()) << server.error();
  ASSERT_TRUE(std::filesystem::exists(server.certificate()));

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    IrcTestClient alice("alice", WireText("utf-8"));
    IrcTestClient bob("bob", WireText("utf-8"));
    ASSERT_TRUE(alice.Connect(server.port()));
    ASSERT_TRUE(bob.Connect(server.port()));
    ASSERT_TRUE(alice.Join("#table"));
    ASSERT_TRUE(bob.Join("#table"));
    alice.Say("#table", "\x83\x58\x83\x79\x81\x5B\x83\x68\x82\xCC\x41");  // スペードのA
    std::optional<ServerLine> heard = bob.NextCommand("PRIVMSG");
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->nick, "alice");
    EXPECT_EQ(heard->params, (std::vector<std::string>{"#table", "スペードのA"}));
    if (round == 0) {
      server.Kill();
      EXPECT_FALSE(Accepts(server.port()));
      ASSERT_TRUE(server.Start()) << server.error();
    }
  }
}

}  // namespace
}  // namespace deckhand::irc::testing
