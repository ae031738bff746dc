// deckhand-discord played as Discord plays it: the program started on a free loopback port,
// interactions POSTed to it signed with a key pair made here, shaped as Discord's documentation
// shapes them; Discord's API (the webhook that completes replies, the commands endpoint) is a
// local server that records what the bot sends it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "host/discord/http_client.h"
#include "host/discord/http_server.h"
#include "irc/server/child_process.h"
#include "support/scratch_directory.h"
#include "support/signing_key.h"

namespace deckhand::discord {
namespace {

using nlohmann::json;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr const char* kApplication = "900000000000000001";
constexpr const char* kGuild = "500000000000000001";
constexpr const char* kTable = "100000000000000001";
constexpr const char* kManageMessages = "8192";

struct User {
  std::string id;
  std::string name;
};
const User kAlice{"200000000000000001", "alice"};
const User kBob{"200000000000000002", "bob"};
const User kCarol{"200000000000000003", "carol"};

using deckhand::testing::SigningKey;

// Discord's API as the bot reaches it: every request recorded, each answered 200, or 429 (past
// the rate limit) while RateLimit's count lasts, or never once Silence is called.
class RecordingApi {
 public:
  RecordingApi()
      : server_(io_, {boost::asio::ip::make_address("127.0.0.1"), 0}, {},
                [this](HttpRequest request, Respond respond) {
                  std::lock_guard lock(mutex_);
                  requests_.push_back(std::move(request));
                  if (silent_) return;
                  if (rate_limited_ > 0) {
                    --rate_limited_;
                    return respond({429, "application/json", "{\"retry_after\":0.2}"});
                  }
                  respond({200, "application/json", "{}"});
                }) {
    std::string error;
    started_ = server_.Start(&error);
    thread_ = std::thread([this] { io_.run(); });
  }
  ~RecordingApi() {
    boost::asio::post(io_, [this] { server_.Stop(); });
    io_.stop();
    thread_.join();
  }
  bool started() const { return started_; }
  void RateLimit(int requests) {
    std::lock_guard lock(mutex_);
    rate_limited_ = requests;
  }
  void Silence() {
    std::lock_guard lock(mutex_);
    silent_ = true;
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(server_.port()) + "/api"; }
  // The requests recorded once there are `count` of them, waiting up to a generous bound.
  std::vector<HttpRequest> AwaitRequests(std::size_t count) {
    for (auto until = std::chrono::steady_clock::now() + seconds(30);
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(milliseconds(20))) {
      std::lock_guard lock(mutex_);
      if (requests_.size() >= count) return requests_;
    }
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  boost::asio::io_context io_;
  HttpServer server_;
  bool started_ = false;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<HttpRequest> requests_;
  int rate_limited_ = 0;
  bool silent_ = false;
};

std::int64_t Now() {
  return std::chrono::duration_cast<seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

json UserObject(const User& user) {
  return {{"id", user.id}, {"username", user.name}, {"global_name", nullptr}};
}

class DiscordBotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(api_.started());
    for (const auto& entry : std::filesystem::directory_iterator(DECKHAND_EXAMPLES_DIR)) {
      if (entry.path().extension() == ".ini") {
        std::filesystem::copy_file(entry.path(), data_.path() / entry.path().filename());
      }
    }
    std::ofstream(data_.path() / "token") << "bot-token-123\n";
    std::ofstream(data_.path() / "discord.ini")
        << "[discord]\napplication_id = " << kApplication << "\npublic_key = " << key_.PublicHex()
        << "\ncredentials = token\napi = " << api_.url()
        << "\n[http]\nport = 0\n[game]\ndata_dir = .\n";
  }
  void TearDown() override {
    if (bot_.running()) bot_.Stop();
  }

  // Runs the bot with `options`; for the server, waits for it to name its port.
  void StartBot() {
    ASSERT_TRUE(
        bot_.Start({DECKHAND_DISCORD_PROGRAM, "--config", "discord.ini"}, Log(), data_.path()));
    const std::string listening = "listening on http://127.0.0.1:";
    for (auto until = std::chrono::steady_clock::now() + seconds(60);
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(milliseconds(50))) {
      std::string log = ReadLog();
      std::size_t at = log.find(listening);
      std::size_t end = log.find("/interactions", at);
      if (at != std::string::npos && end != std::string::npos) {
        port_ = log.substr(at + listening.size(), end - at - listening.size());
        return;
      }
      ASSERT_FALSE(bot_.WaitFor(milliseconds(0))) << log;
    }
    FAIL() << "the bot never listened: " << ReadLog();
  }
  std::filesystem::path Log() const { return data_.path() / "bot.log"; }
  std::string ReadLog() const {
    std::ifstream file(Log());
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  ClientResponse PostRaw(const std::string& body, const std::string& timestamp,
                         const std::string& signature) {
    return SendHttp({"POST",
                     "http://127.0.0.1:" + port_ + "/interactions",
                     {{"Content-Type", "application/json"},
                      {"X-Signature-Ed25519", signature},
                      {"X-Signature-Timestamp", timestamp}},
                     body},
                    seconds(30));
  }
  ClientResponse PostSigned(const std::string& body, std::int64_t at = Now()) {
    std::string timestamp = std::to_string(at);
    return PostRaw(body, timestamp, key_.Sign(timestamp + body));
  }
  // The bot's answer to a signed interaction, which must be 200 and JSON.
  json Interact(const json& interaction) {
    ClientResponse response = PostSigned(interaction.dump());
    EXPECT_EQ(response.status, 200) << response.error << response.body;
    return json::parse(response.body, nullptr, false);
  }

  json Base(int type, const User& user, const std::string& permissions) {
    ++interactions_;
    return {{"type", type},
            {"id", "30000000000000000" + std::to_string(interactions_)},
            {"application_id", kApplication},
            {"token", "token-" + std::to_string(interactions_)},
            {"version", 1},
            {"guild_id", kGuild},
            {"channel_id", kTable},
            {"channel", {{"id", kTable}, {"name", "table"}, {"type", 0}}},
            {"member",
             {{"user", UserObject(user)},
              {"nick", nullptr},
              {"roles", json::array()},
              {"permissions", permissions}}},
            {"locale", "ja"},
            {"context", 0}};
  }
  // A slash command from `user` in the channel, users among `options` resolved as Discord does.
  json Slash(const User& user, const std::string& name, json options = json::array(),
             const std::vector<User>& named = {}, const std::string& permissions = "0") {
    json interaction = Base(2, user, permissions);
    json data = {{"id", "40000000000000001"}, {"name", name}, {"type", 1}, {"options", options}};
    for (const User& other : named) {
      data["resolved"]["users"][other.id] = UserObject(other);
      data["resolved"]["members"][other.id] = {{"nick", nullptr}, {"roles", json::array()}};
    }
    interaction["data"] = data;
    return interaction;
  }
  json Button(const User& user, const std::string& custom_id) {
    json interaction = Base(3, user, "0");
    interaction["data"] = {{"custom_id", custom_id}, {"component_type", 2}};
    return interaction;
  }

  testing::ScratchDirectory data_;
  SigningKey key_;
  RecordingApi api_;
  irc::testing::ChildProcess bot_;
  std::string port_;
  int interactions_ = 0;
};

bool Ephemeral(const json& answer) { return answer["data"].value("flags", 0) == 64; }
std::string Content(const json& answer) { return answer["data"].value("content", ""); }

// Every count of cards a /table reply shows ("山札50枚 捨て札1枚 bob:3枚"), summed.
int CardsOnTable(const std::string& table) {
  int sum = 0;
  for (std::size_t at = table.find("枚"); at != std::string::npos; at = table.find("枚", at + 1)) {
    std::size_t digits = at;
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(table[digits - 1]))) --digits;
    if (digits < at) sum += std::stoi(table.substr(digits, at - digits));
  }
  return sum;
}

TEST_F(DiscordBotTest, PlaysAWholeGameAsDiscordSendsIt) {
  StartBot();
  EXPECT_EQ(Interact({{"type", 1},
                      {"id", "1"},
                      {"application_id", kApplication},
                      {"token", "ping"},
                      {"version", 1}}),
            json({{"type", 1}}));

  // Seeds of the players' own go into the shuffles; the commitment comes first.
  json fair = Interact(Slash(kAlice, "fair"));
  ASSERT_GE(Content(fair).size(), 64u) << fair;
  const std::string commitment = Content(fair).substr(Content(fair).size() - 64);
  Interact(Slash(kBob, "seed", {{{"name", "text"}, {"type", 3}, {"value", "bob7"}}}));

  json dealt =
      Interact(Slash(kAlice, "deck", {{{"name", "mode"}, {"type", 3}, {"value", "trump"}}}));
  EXPECT_EQ(dealt["type"], 4);
  EXPECT_FALSE(Ephemeral(dealt)) << dealt;
  EXPECT_EQ(dealt["data"]["allowed_mentions"], json({{"parse", json::array()}}));

  // The deal names its players as user options; its message carries the hand button.
  json deal = Interact(Slash(kAlice, "deal",
                             {{{"name", "count"}, {"type", 4}, {"value", 2}},
                              {{"name", "player1"}, {"type", 6}, {"value", kAlice.id}},
                              {{"name", "player2"}, {"type", 6}, {"value", kBob.id}}},
                             {kAlice, kBob}));
  EXPECT_FALSE(Ephemeral(deal)) << deal;
  json button = deal["data"]["components"][0]["components"][0];
  EXPECT_EQ(button["custom_id"], "hand") << deal;
  EXPECT_EQ(button["label"], "手札を見る");
  EXPECT_EQ(Content(deal).find("♠"), std::string::npos) << "a dealt hand shown to the channel";

  json bob_hand = Interact(Button(kBob, "hand"));
  EXPECT_TRUE(Ephemeral(bob_hand)) << bob_hand;
  EXPECT_NE(Content(bob_hand), "");

  // A hidden draw: the card to the drawer alone, the channel told through the webhook.
  json hidden = Interact(Slash(kBob, "hdraw"));
  EXPECT_TRUE(Ephemeral(hidden)) << hidden;
  std::vector<HttpRequest> calls = api_.AwaitRequests(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].method, "POST");
  EXPECT_EQ(calls[0].target, "/api/webhooks/" + std::string(kApplication) + "/token-" +
                                 std::to_string(interactions_));
  json told = json::parse(calls[0].body);
  EXPECT_EQ(told.value("flags", 0), 0);
  EXPECT_NE(told["content"].get<std::string>().find("bob"), std::string::npos) << told;
  EXPECT_EQ(told["content"].get<std::string>().find(Content(hidden)), std::string::npos);

  json played =
      Interact(Slash(kBob, "play", {{{"name", "selector"}, {"type", 3}, {"value", "1"}}}));
  EXPECT_FALSE(Ephemeral(played)) << played;

  // carol dealt nothing: the dealer's commands are alice's, or a moderator's.
  json refused = Interact(Slash(kCarol, "shuffle"));
  EXPECT_TRUE(Ephemeral(refused)) << refused;
  EXPECT_NE(Content(refused).find("carol"), std::string::npos) << refused;
  json moderated = Interact(Slash(kCarol, "shuffle", json::array(), {}, kManageMessages));
  EXPECT_FALSE(Ephemeral(moderated)) << moderated;

  json table = Interact(Slash(kAlice, "table"));
  EXPECT_EQ(CardsOnTable(Content(table)), 54) << Content(table);
  json recalled =
      Interact(Slash(kAlice, "recall", {{{"name", "all"}, {"type", 5}, {"value", true}}}));
  EXPECT_FALSE(Ephemeral(recalled)) << recalled;
  json count = Interact(Slash(kAlice, "count"));
  EXPECT_NE(Content(count).find("54"), std::string::npos) << count;

  // The reveal publishes the seeds; the transcript the bot wrote checks.
  json revealed = Interact(Slash(kAlice, "reveal"));
  EXPECT_NE(Content(revealed).find("シャッフル#1のシード: "), std::string::npos) << revealed;
  std::vector<std::filesystem::path> games;
  for (const auto& entry : std::filesystem::directory_iterator(data_.path() / "games")) {
    games.push_back(entry.path());
  }
  std::sort(games.begin(), games.end());
  ASSERT_FALSE(games.empty());
  std::ifstream transcript_file(games[0]);
  std::string transcript(std::istreambuf_iterator<char>(transcript_file), {});
  EXPECT_NE(transcript.find(commitment), std::string::npos);
  EXPECT_NE(transcript.find("\"text\":\"bob7\""), std::string::npos) << transcript;
  std::string verify = std::string(DECKHAND_PROGRAM) + " --verify '" + games[0].string() + "'";
  EXPECT_EQ(std::system(verify.c_str()), 0) << transcript;

  json modes = Interact(
      {{"type", 4},
       {"id", "5"},
       {"application_id", kApplication},
       {"token", "auto"},
       {"data",
        {{"name", "deck"},
         {"options", {{{"name", "mode"}, {"type", 3}, {"value", "TR"}, {"focused", true}}}}}}});
  EXPECT_EQ(modes["type"], 8);
  EXPECT_NE(modes["data"]["choices"].dump().find("\"trump\""), std::string::npos) << modes;
  EXPECT_EQ(modes["data"]["choices"].dump().find("tarot\""), std::string::npos) << modes;
}

// A direct message with the bot is the player's own table, apart from every channel's; a channel
// is its id, not its name, which repeats across servers, changes, and may hold emoji.
TEST_F(DiscordBotTest, ADirectMessageIsThePlayersOwnTable) {
  StartBot();
  json direct = Slash(kBob, "deck", {{{"name", "mode"}, {"type", 3}, {"value", "major"}}});
  direct.erase("guild_id");
  direct.erase("member");
  direct["user"] = UserObject(kBob);
  direct["context"] = 1;
  direct["channel"] = {{"id", "600000000000000001"}, {"type", 1}};
  direct["channel_id"] = "600000000000000001";
  EXPECT_EQ(Interact(direct)["type"], 4);
  direct["data"] = {{"name", "count"}, {"type", 1}};
  EXPECT_EQ(Content(Interact(direct)), "22");
  json channel_count = Interact(Slash(kBob, "count"));
  EXPECT_NE(Content(channel_count), "22") << channel_count;

  Interact(Slash(kAlice, "deck", {{{"name", "mode"}, {"type", 3}, {"value", "trump"}}}));
  json elsewhere = Slash(kBob, "count");
  elsewhere["channel_id"] = elsewhere["channel"]["id"] = "100000000000000002";
  EXPECT_EQ(Content(Interact(elsewhere)), "0") << "another #table";
  json renamed = Slash(kAlice, "count");
  renamed["channel"]["name"] = "\U0001F3B2-table";
  EXPECT_EQ(Content(Interact(renamed)), "54");
}

// Forged, replayed and malformed requests are refused and change nothing.
TEST_F(DiscordBotTest, RefusesWhatDiscordDidNotSign) {
  StartBot();
  std::string body =
      Slash(kAlice, "deck", {{{"name", "mode"}, {"type", 3}, {"value", "trump"}}}).dump();
  std::string now = std::to_string(Now());
  EXPECT_EQ(PostRaw(body, now, "").status, 401);
  EXPECT_EQ(PostRaw(body, now, key_.Sign(now + body + " ")).status, 401);
  EXPECT_EQ(PostRaw(body, std::to_string(Now() + 1), key_.Sign(now + body)).status, 401);
  SigningKey stranger;
  EXPECT_EQ(PostRaw(body, now, stranger.Sign(now + body)).status, 401);
  EXPECT_EQ(PostSigned(body, Now() - 600).status, 401) << "a replay from ten minutes ago";
  EXPECT_EQ(PostSigned("{\"type\":2,").status, 400);
  EXPECT_EQ(PostSigned("[1,2]").status, 400);
  EXPECT_EQ(PostSigned(json({{"type", 99}}).dump()).status, 400);
  json wrong = Slash(kAlice, "deal", {{{"name", "count"}, {"type", 4}, {"value", "two"}}});
  EXPECT_EQ(PostSigned(wrong.dump()).status, 400);
  EXPECT_EQ(PostSigned(Button(kAlice, "shuffle").dump()).status, 400);
  json dots = Slash(kAlice, "hdraw");
  dots["token"] = "..";  // a path segment in the webhook's URL
  EXPECT_EQ(PostSigned(dots.dump()).status, 400);
  EXPECT_FALSE(std::filesystem::exists(data_.path() / "decksave.ini"));
  // Still serving.
  EXPECT_EQ(Interact({{"type", 1}}), json({{"type", 1}}));
}

// A command that waits for the save file past Discord's deadline gets the "thinking" answer, and
// its reply replaces it through the webhook; a call past Discord's rate limit is sent again.
TEST_F(DiscordBotTest, AnswersLateCommandsThroughTheWebhook) {
  StartBot();
  Interact(Slash(kAlice, "deck", {{{"name", "mode"}, {"type", 3}, {"value", "trump"}}}));
  api_.RateLimit(1);
  int lock = ::open((data_.path() / "decksave.ini.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  json late = Interact(Slash(kAlice, "hdraw"));
  ::close(lock);
  EXPECT_EQ(late["type"], 5) << late;
  EXPECT_TRUE(Ephemeral(late));
  std::vector<HttpRequest> calls = api_.AwaitRequests(3);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].method, "PATCH");
  EXPECT_EQ(calls[0].target, "/api/webhooks/" + std::string(kApplication) + "/token-" +
                                 std::to_string(interactions_) + "/messages/@original");
  EXPECT_NE(json::parse(calls[0].body)["content"].get<std::string>(), "");
  EXPECT_EQ(calls[1].target, calls[0].target);
  EXPECT_EQ(calls[1].body, calls[0].body);
  EXPECT_EQ(calls[2].method, "POST");
}

// A Discord that does not answer holds the bot's end a few seconds, not a deadline per reply.
TEST_F(DiscordBotTest, StopsSoonThoughDiscordDoesNotAnswer) {
  StartBot();
  Interact(Slash(kAlice, "deck", {{{"name", "mode"}, {"type", 3}, {"value", "trump"}}}));
  api_.Silence();
  for (int draw = 0; draw < 6; ++draw) Interact(Slash(kBob, "hdraw"));
  bot_.Signal(SIGTERM);
  EXPECT_EQ(bot_.WaitFor(seconds(60)), 0) << ReadLog();
}

// --register sends the commands --print-commands writes, with the token of the credentials file.
TEST_F(DiscordBotTest, RegistersTheCommandsWithTheBotToken) {
  std::string printed_log = (data_.path() / "printed.json").string();
  irc::testing::ChildProcess print;
  ASSERT_TRUE(print.Start({DECKHAND_DISCORD_PROGRAM, "--config", "discord.ini", "--print-commands"},
                          printed_log, data_.path()));
  ASSERT_EQ(print.WaitFor(seconds(60)), 0);
  std::ifstream printed_file(printed_log);
  json printed = json::parse(printed_file, nullptr, false);
  ASSERT_TRUE(printed.is_array());
  std::string names;
  for (const json& command : printed) names += command["name"].get<std::string>() + " ";
  EXPECT_NE(names.find("draw hdraw deal hand play discard give"), std::string::npos) << names;

  irc::testing::ChildProcess registering;
  ASSERT_TRUE(registering.Start({DECKHAND_DISCORD_PROGRAM, "--config", "discord.ini", "--register"},
                                Log(), data_.path()));
  ASSERT_EQ(registering.WaitFor(seconds(60)), 0) << ReadLog();
  std::vector<HttpRequest> calls = api_.AwaitRequests(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].method, "PUT");
  EXPECT_EQ(calls[0].target, "/api/applications/" + std::string(kApplication) + "/commands");
  EXPECT_EQ(calls[0].headers["authorization"], "Bot bot-token-123");
  EXPECT_EQ(calls[0].headers["content-type"], "application/json");
  EXPECT_EQ(json::parse(calls[0].body), printed);
}

}  // namespace
}  // namespace deckhand::discord
