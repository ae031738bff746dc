// The bot's standing with its server on one link, without sockets: registration (CAP, SASL,
// NICK and USER) as an explicit state, keep-alive, and getting its own nick back when the
// server gave it another. It takes the server's lines and the time and says what to write at
// once; channels and chat are other layers' business. A reconnect starts a new connection.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/wire_codec.h"
#include "host/irc/config.h"
#include "host/irc/irc_line.h"
#include "host/irc/names.h"
#include "host/irc/wire_output.h"

namespace deckhand::irc {

// Where registration stands. Lines arrive in any order from a hostile server: each state takes
// only the lines that belong to it, so that, for instance, credentials go out only after the
// server accepted SASL and asked for them.
enum class Registration {
  kIdle,             // no link yet
  kListingCaps,      // CAP LS sent, NICK and USER too; reading the server's listing
  kRequestingCaps,   // CAP REQ sent for what the listing offered
  kAuthenticating,   // AUTHENTICATE PLAIN sent; credentials on the server's "+"
  kAwaitingWelcome,  // CAP END sent: the server's 001 is next
  kRegistered,       // the server's 001 came: channels and chat
  kQuitting,         // QUIT sent: nothing more goes out
};

// Whether the server was heard from lately.
enum class KeepAlive { kHeard, kPinged };

// A link signed on for this long counts as one that worked.
inline constexpr std::chrono::seconds kStableLink{60};

// Whether losing a link starts the reconnect back-off again: only a link that stayed signed on
// for kStableLink and was not closed for flooding does. A server that closes the bot for flooding,
// or soon after every sign-on, sees it come back ever more slowly, not every two seconds.
bool ResetsBackoff(std::chrono::steady_clock::duration signed_on_for, bool closed_for_flooding);

// Delay before reconnect attempt number `failures` (0 for the first): `initial` doubled per
// failure up to `maximum`, then a random share of its upper half taken off so that many bots
// cut off together do not come back together. `unit_random` is in [0, 1).
double BackoffSeconds(int failures, double initial, double maximum, double unit_random);

// Seconds for the log, to a tenth ("1.5").
std::string FormatSeconds(double seconds);

// The log's line for a failed attempt while the bot has never reached its server. Most often
// nothing listens where the settings point (no server started, a wrong port), so the first
// failure says where it tried and what to look at; later ones say only that it still cannot.
std::string NeverConnectedText(std::string_view server, int port, std::string_view reason,
                               int failures, double delay);

// The AUTHENTICATE lines of a SASL PLAIN login: the credentials in base64, in pieces of 400
// characters, and "+" after a last piece of exactly 400.
std::vector<std::string> SaslPlainLines(std::string_view account, std::string_view password);

// A line for the log: passwords, credentials and channel keys never go there.
std::string WithoutSecrets(std::string_view line);

class IrcConnection {
 public:
  using Clock = std::chrono::steady_clock;

  IrcConnection(const BotConfig& config, const host::WireCodec& codec, Clock::time_point now);

  // The link is up: registration starts.
  void Connected(Clock::time_point now, WireOutput& out);
  // Any line at all from the server, before it is read: the server is alive.
  void Heard(Clock::time_point now);
  // One line from the server; those of registration, keep-alive and the bot's nick are acted on.
  void Receive(const IrcMessage& message, WireOutput& out);
  // Keep-alive and asking after the bot's own nick.
  void Tick(Clock::time_point now, WireOutput& out);
  // When Tick has something to do next.
  Clock::time_point NextWake() const;
  // QUIT, ahead of anything paced, which is dropped.
  void Quit(std::string_view reason, WireOutput& out);
  // Quits, drops the link and stops the bot: the settings cannot work with this server.
  void Stop(std::string reason, WireOutput& out);

  Registration registration() const { return registration_; }
  bool registered() const { return registration_ == Registration::kRegistered; }
  bool quitting() const { return registration_ == Registration::kQuitting; }
  const std::string& nick() const { return nick_; }
  bool IsMe(std::string_view nick) const;
  // How the server compares nicks (its CASEMAPPING), for the bot's own.
  void SetCaseMapping(CaseMapping mapping) { case_mapping_ = mapping; }
  // What the server puts before each of our lines when it relays them.
  std::size_t RelayPrefixBytes() const;

 private:
  void OnWelcome(const IrcMessage& message);
  void OnSupport(const IrcMessage& message, WireOutput& out);
  void OnCap(const IrcMessage& message, WireOutput& out);
  void OnCapList(const IrcMessage& message, WireOutput& out);
  void OnCapAck(const IrcMessage& message, WireOutput& out);
  void OnCapNak(const IrcMessage& message, WireOutput& out);
  void OnSaslFailed(const IrcMessage& message, WireOutput& out);
  void OnNickRefused(const IrcMessage& message, WireOutput& out);
  void OnNick(const IrcMessage& message);
  void OnIson(const IrcMessage& message, WireOutput& out);
  void SendCredentials(WireOutput& out);
  void FinishCapabilities(WireOutput& out);
  bool Negotiating() const;  // CAP and SASL under way, or not yet begun
  bool WantsSasl() const { return !config_.sasl_password.empty(); }
  std::string Shown(std::string_view wire) const;

  const BotConfig& config_;
  host::WireCodec codec_;
  Registration registration_ = Registration::kIdle;
  std::string nick_;
  CaseMapping case_mapping_ = CaseMapping::kRfc1459;
  std::string own_prefix_;  // "nick!user@host" as the server relays the bot's lines
  int nick_attempts_ = 0;
  Clock::time_point regain_at_{};
  std::string offered_capabilities_;  // " cap1 cap2": of those wanted, what the listing offers
  int cap_lines_ = 0;
  KeepAlive keep_alive_ = KeepAlive::kHeard;
  Clock::time_point last_heard_;
};

}  // namespace deckhand::irc
