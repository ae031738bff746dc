// A test against the real server with the bot running: ngircd on free loopback ports, a data
// directory holding a copy of examples/ (also the test's current directory, so that the library
// loaded by the test reads the very files the bot plays on), and deckhand-irc spawned on it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "irc/server/child_process.h"
#include "irc/server/irc_test_client.h"
#include "irc/server/ngircd_server.h"
#include "support/plugin.h"
#include "support/scratch_directory.h"

namespace deckhand::irc::testing {

struct BotSettings {
  std::string encoding = "utf-8";
  std::string nick = "deckbot";
  std::vector<std::string> channels{"#table"};  // UTF-8, as in the bot's settings
  bool tls = false;
  bool trust_test_certificate = true;  // --tls-ca with the server's certificate
  std::uint16_t port = 0;              // another server's port than ngircd's
  std::string extra_settings = "";     // INI lines added to the bot's settings file
};

// A reply the bot sent: the lines as relayed and their texts joined, back in CP932.
struct BotReply {
  std::vector<ServerLine> lines;
  std::string text;
};

class BotTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Spawns the bot. The caller waits for it to show up (WaitForMember).
  void StartBot(const BotSettings& settings);
  // A client connected, flood-exempt, and in `cp932_channel` (when not empty).
  // `user`: the USER name, when not the nick.
  std::unique_ptr<IrcTestClient> Player(const std::string& nick, const std::string& encoding,
                                        const std::string& cp932_channel,
                                        const std::string& user = "");
  // Asks the server, until `limit`, for the members of the channel; returns the first member
  // whose nick starts with `nick_start`.
  std::optional<std::string> WaitForMember(
      IrcTestClient& client, const std::string& cp932_channel, const std::string& nick_start,
      std::chrono::milliseconds limit = std::chrono::seconds(30));
  // The library's own reply text to `command` on `cp932_target`, called here directly on the
  // data directory the bot uses (what follows "NOTICE <target> ").
  std::string Direct(DeckhandCommand command, const std::string& cp932_target,
                     const std::string& command_text);
  // NOTICE lines from the bot to `wire_where` until their joined texts are as long as
  // `expected_size` bytes of CP932, or the wait ends.
  BotReply AwaitReply(IrcTestClient& client, const std::string& wire_where,
                      std::size_t expected_size);

  deckhand::testing::ScratchDirectory data_;
  std::unique_ptr<NgircdServer> server_;
  ChildProcess bot_;
  std::filesystem::path bot_log_;
  std::string bot_nick_ = "deckbot";
};

// Cards of a reply ("a,b,c").
std::vector<std::string> CardsOf(const std::string& text);
// The first `n` cards joined as the library joins them.
std::string FirstCards(const std::string& text, std::size_t n);

}  // namespace deckhand::irc::testing
