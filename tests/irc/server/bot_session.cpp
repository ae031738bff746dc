#include "irc/server/bot_session.h"

#include <fstream>
#include <iostream>
#include <thread>

#include "support/commitments.h"

namespace deckhand::irc::testing {
namespace {

constexpr std::size_t kLongestLine = 512;  // with CR LF

}  // namespace

void BotTest::SetUp() {
  if (FindNgircd().empty()) GTEST_SKIP() << "ngircd is not installed (Debian package ngircd)";
  for (const auto& entry : std::filesystem::directory_iterator(DECKHAND_EXAMPLES_DIR)) {
    if (entry.path().extension() == ".ini") {
      std::filesystem::copy_file(entry.path(), data_.path() / entry.path().filename());
    }
  }
  std::filesystem::create_directories(data_.path() / "server");
  server_ = std::make_unique<NgircdServer>(data_.path() / "server");
  ASSERT_TRUE(server_->Start()) << server_->error();
  bot_log_ = data_.path() / "server" / "bot.log";
}

void BotTest::TearDown() {
  if (bot_.running()) {
    std::optional<int> status = bot_.Stop();
    EXPECT_EQ(status, 0) << "the bot did not end cleanly on SIGTERM:\n" << ReadFile(bot_log_);
  }
  if (HasFailure() && std::filesystem::exists(bot_log_)) {
    std::cerr << "--- the bot's log ---\n"
              << ReadFile(bot_log_) << "--- ngircd's log ---\n"
              << ReadFile(server_->log());
  }
}

void BotTest::StartBot(const BotSettings& settings) {
  // Paced, as the bot always is, but at a rate that keeps the tests short; reconnection
  // quick, so that a restarted server is found again at once.
  std::filesystem::path config = data_.path() / "server" / "bot.ini";
  std::ofstream(config) << "[flood]\nburst = 5\nrate = 4\n"
                        << "[timing]\nreconnect_initial = 0.5\nreconnect_max = 2\n"
                        << settings.extra_settings;
  bot_nick_ = settings.nick;
  std::vector<std::string> arguments{DECKHAND_IRC_PROGRAM,
                                     "--config",
                                     config.string(),
                                     "--server",
                                     "127.0.0.1",
                                     "--port",
                                     std::to_string(settings.port != 0 ? settings.port
                                                    : settings.tls     ? server_->tls_port()
                                                                       : server_->port()),
                                     "--nick",
                                     settings.nick,
                                     "--data-dir",
                                     data_.path().string(),
                                     "--encoding",
                                     settings.encoding,
                                     "--verbose"};
  for (const std::string& channel : settings.channels) {
    arguments.insert(arguments.end(), {"--channel", channel});
  }
  if (settings.tls) arguments.push_back("--tls");
  if (settings.tls && settings.trust_test_certificate) {
    arguments.insert(arguments.end(), {"--tls-ca", server_->certificate().string()});
  }
  ASSERT_TRUE(bot_.Start(arguments, bot_log_, data_.path()));
}

std::unique_ptr<IrcTestClient> BotTest::Player(const std::string& nick, const std::string& encoding,
                                               const std::string& cp932_channel,
                                               const std::string& user) {
  auto client = std::make_unique<IrcTestClient>(nick, WireText(encoding), user);
  EXPECT_TRUE(client->Connect(server_->port())) << nick << " cannot connect";
  if (!cp932_channel.empty()) {
    EXPECT_TRUE(client->Join(cp932_channel)) << nick << " cannot join";
  }
  return client;
}

std::optional<std::string> BotTest::WaitForMember(IrcTestClient& client,
                                                  const std::string& cp932_channel,
                                                  const std::string& nick_start,
                                                  std::chrono::milliseconds limit) {
  std::optional<std::string> channel = client.text().ToWire(cp932_channel);
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (channel && std::chrono::steady_clock::now() < deadline) {
    client.SendRaw("NAMES " + *channel);
    while (std::optional<ServerLine> line = client.Next(std::chrono::seconds(5))) {
      if (line->command == "366") break;  // end of the list
      if (line->command != "353" || line->params.size() < 4 || line->params[2] != *channel) {
        continue;
      }
      std::string names = line->params.back() + " ";
      for (std::size_t at = 0, space; (space = names.find(' ', at)) != std::string::npos;
           at = space + 1) {
        std::string name = names.substr(at, space - at);
        if (!name.empty() && std::string("~&@%+").find(name[0]) != std::string::npos) {
          name.erase(0, 1);
        }
        if (name.rfind(nick_start, 0) == 0 && name != client.nick()) return name;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return std::nullopt;
}

std::string BotTest::Direct(DeckhandCommand command, const std::string& cp932_target,
                            const std::string& command_text) {
  std::string head = "NOTICE " + cp932_target + " ";
  std::optional<std::string> reply = deckhand::testing::CallCommand(
      command, "tester " + cp932_target + " modes.ini " + command_text);
  EXPECT_TRUE(reply && reply->rfind(head, 0) == 0) << command_text;
  return reply && reply->rfind(head, 0) == 0 ? reply->substr(head.size()) : std::string();
}

BotReply BotTest::AwaitReply(IrcTestClient& client, const std::string& wire_where,
                             std::size_t expected_size) {
  BotReply reply;
  auto deadline = std::chrono::steady_clock::now() + IrcTestClient::kWait;
  while (reply.text.size() < expected_size && std::chrono::steady_clock::now() < deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    std::optional<ServerLine> line = client.NextNoticeFrom(bot_nick_, left);
    if (!line) break;
    if (line->params.size() != 2 || line->params[0] != wire_where) continue;
    EXPECT_LE(line->raw.size() + 2, kLongestLine) << "a relayed line is longer than IRC allows";
    std::optional<std::string> text = client.text().FromWire(line->params[1]);
    EXPECT_TRUE(text) << "a reply line does not convert back: " << line->raw;
    reply.text += deckhand::testing::WithoutCommitments(text.value_or(""));
    reply.lines.push_back(std::move(*line));
  }
  return reply;
}

std::vector<std::string> CardsOf(const std::string& text) {
  std::vector<std::string> cards;
  std::size_t at = 0;
  for (std::size_t comma; (comma = text.find(',', at)) != std::string::npos; at = comma + 1) {
    cards.push_back(text.substr(at, comma - at));
  }
  cards.push_back(text.substr(at));
  return cards;
}

std::string FirstCards(const std::string& text, std::size_t n) {
  std::vector<std::string> cards = CardsOf(text);
  std::string joined;
  for (std::size_t i = 0; i < n && i < cards.size(); ++i) joined += (i ? "," : "") + cards[i];
  return joined;
}

}  // namespace deckhand::irc::testing
