// The IRC client: one connection at a time on one io_context, registration (with SASL when a
// password is set), channels, keep-alive, flood control, and reconnecting after any loss.
#pragma once

#include <asio.hpp>
#include <asio/ssl.hpp>
#include <chrono>
#include <deque>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/irc/config.h"
#include "host/irc/game.h"
#include "host/irc/irc_line.h"
#include "host/irc/token_bucket.h"
#include "host/irc/wire_codec.h"

namespace deckhand::irc {

// The TLS settings as OpenSSL takes them; throws asio::system_error for a CA file it cannot read.
asio::ssl::context MakeTlsContext(const BotConfig& config);

// A channel the bot keeps joined, in the wire's bytes.
struct WireChannel {
  std::string name;
  std::string key;
  bool banned = false;  // a ban refused the JOIN: the bot stays away
};

// Delay before reconnect attempt number `failures` (0 for the first): `initial` doubled per
// failure up to `maximum`, then a random share of its upper half taken off so that many bots
// cut off together do not come back together. `unit_random` is in [0, 1).
double BackoffSeconds(int failures, double initial, double maximum, double unit_random);

// The AUTHENTICATE lines of a SASL PLAIN login: the credentials in base64, in pieces of 400
// characters, and "+" after a last piece of exactly 400.
std::vector<std::string> SaslPlainLines(std::string_view account, std::string_view password);

class Bot {
 public:
  Bot(asio::io_context& io, asio::ssl::context& tls, const BotConfig& config, const Game& game,
      const WireCodec& codec, std::vector<WireChannel> channels);

  void Start();
  // Says QUIT when connected, then ends io.run().
  void Stop();

 private:
  using Clock = std::chrono::steady_clock;
  struct Link;

  void Connect();
  void OnConnected(std::shared_ptr<Link> link);
  void Lost(const std::string& reason);
  void Read(std::shared_ptr<Link> link);
  void OnLine(std::string_view line);
  void OnChat(const IrcMessage& message);
  void OnCap(const IrcMessage& message);
  void OnRegistered(const IrcMessage& message);
  void OnJoin(const IrcMessage& message);
  void OnKick(const IrcMessage& message);
  void OnJoinRefused(const IrcMessage& message);
  void OnNickRefused(const IrcMessage& message);
  void SendCredentials();
  void Finish();
  void Join(const WireChannel& channel);
  void FinishCapabilities();

  // Lines go out in order; urgent ones (registration, PONG, QUIT) ahead of replies and without
  // waiting for flood control.
  void Send(std::string line, bool urgent = false);
  void Pump();
  void ArmKeepAlive();
  std::size_t RelayPrefixBytes() const;
  WireChannel* FindChannel(std::string_view name);
  bool IsMe(std::string_view nick) const;
  std::string Shown(std::string_view wire) const;  // for the log, in UTF-8

  asio::io_context& io_;
  asio::ssl::context& tls_;
  const BotConfig& config_;
  const Game& game_;
  WireCodec codec_;
  std::vector<WireChannel> channels_;

  std::shared_ptr<Link> link_;  // the connection of the moment; null between connections
  asio::ip::tcp::resolver resolver_;
  asio::steady_timer reconnect_timer_;
  asio::steady_timer keep_alive_timer_;
  asio::steady_timer flood_timer_;
  asio::steady_timer quit_timer_;
  std::vector<std::unique_ptr<asio::steady_timer>> rejoin_timers_;
  std::deque<std::string> urgent_;
  std::deque<std::string> paced_;
  bool writing_ = false;
  bool flood_timer_armed_ = false;
  TokenBucket bucket_;

  std::string nick_;
  std::string own_prefix_;  // "nick!user@host" as the server relays the bot's lines
  bool registered_ = false;
  std::string offered_capabilities_;
  int failures_ = 0;
  int nick_attempts_ = 0;
  bool stopping_ = false;
  Clock::time_point last_heard_;
  bool ping_sent_ = false;
  std::mt19937 random_;
};

}  // namespace deckhand::irc
