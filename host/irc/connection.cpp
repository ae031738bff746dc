#include "host/irc/connection.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/common/log.h"
#include "host/irc/irc_numerics.h"
#include "host/irc/names.h"

namespace deckhand::irc {
namespace {

// Nicks up to this long are accepted by every server; a longer configured nick sets its own.
constexpr std::size_t kCommonNickLength = 9;
// Longest piece of an AUTHENTICATE line's payload.
constexpr std::size_t kSaslChunk = 400;
constexpr int kMaxNickAttempts = 20;
// CAP LS lines of one listing; a server that goes on is taken as done.
constexpr int kMaxCapLines = 64;
// How often a bot that had to take another nick asks whether its own is free.
constexpr std::chrono::seconds kNickRegainInterval{60};
// Capabilities asked for when offered: statuses all shown, accounts told.
constexpr std::string_view kWantedCaps[] = {"multi-prefix", "extended-join", "account-tag",
                                            "account-notify"};

using Clock = std::chrono::steady_clock;

Clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

std::string Base64(std::string_view bytes) {
  std::string encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                               reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<int>(bytes.size()));
  encoded.resize(static_cast<std::size_t>(length));
  return encoded;
}

bool IsOneOf(std::string_view command, std::initializer_list<std::string_view> codes) {
  return std::find(codes.begin(), codes.end(), command) != codes.end();
}

// Whether a space-separated capability list names `cap`, with or without a value.
bool Lists(const std::string& spaced_list, std::string_view cap) {
  return spaced_list.find(" " + std::string(cap) + " ") != std::string::npos ||
         spaced_list.find(" " + std::string(cap) + "=") != std::string::npos;
}

}  // namespace

bool ResetsBackoff(std::chrono::steady_clock::duration signed_on_for, bool closed_for_flooding) {
  return signed_on_for >= kStableLink && !closed_for_flooding;
}

double BackoffSeconds(int failures, double initial, double maximum, double unit_random) {
  double delay = initial * std::pow(2.0, std::min(failures, 62));
  delay = std::min(delay, maximum);
  return delay - delay / 2 * unit_random;
}

std::string FormatSeconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

std::string NeverConnectedText(std::string_view server, int port, std::string_view reason,
                               int failures, double delay) {
  std::string where = std::string(server) + " port " + std::to_string(port);
  std::string again = "; trying again in " + FormatSeconds(delay) + " s";
  if (failures > 0) return "still cannot reach " + where + ": " + std::string(reason) + again;
  return "cannot reach the IRC server at " + where + ": " + std::string(reason) +
         ". Is a server running there? Check host and port under [server] in the settings, or"
         " --server and --port (to try the bot on this machine, start a local server such as"
         " ngircd)" +
         again;
}

std::vector<std::string> SaslPlainLines(std::string_view account, std::string_view password) {
  std::string credentials;
  credentials.append(account).append(1, '\0').append(account).append(1, '\0').append(password);
  std::string payload = Base64(credentials);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < payload.size(); at += kSaslChunk) {
    lines.push_back("AUTHENTICATE " + payload.substr(at, kSaslChunk));
  }
  // A payload that fills its last piece exactly is ended by an empty one.
  if (payload.size() % kSaslChunk == 0) lines.push_back("AUTHENTICATE +");
  return lines;
}

std::string WithoutSecrets(std::string_view line) {
  for (std::string_view secret : {"PASS ", "AUTHENTICATE "}) {
    if (line.starts_with(secret) && line != "AUTHENTICATE PLAIN") {
      return std::string(secret) + "(hidden)";
    }
  }
  if (line.starts_with("JOIN ")) {
    std::size_t key = line.find(' ', 5);
    if (key != std::string_view::npos) return std::string(line.substr(0, key)) + " (key hidden)";
  }
  return std::string(line);
}

IrcConnection::IrcConnection(const BotConfig& config, const host::WireCodec& codec,
                             Clock::time_point now)
    : config_(config), codec_(codec), nick_(config.nick), last_heard_(now) {}

void IrcConnection::Connected(Clock::time_point now, WireOutput& out) {
  Heard(now);
  registration_ = Registration::kListingCaps;
  out.Send("CAP LS 302");
  if (!config_.server_password.empty()) out.Send("PASS " + config_.server_password);
  out.Send("NICK " + nick_);
  out.Send("USER " + config_.user + " 0 * :" + config_.realname);
}

void IrcConnection::Heard(Clock::time_point now) {
  last_heard_ = now;
  keep_alive_ = KeepAlive::kHeard;
}

bool IrcConnection::Negotiating() const {
  return registration_ != Registration::kRegistered && registration_ != Registration::kQuitting;
}

void IrcConnection::Receive(const IrcMessage& message, WireOutput& out) {
  const std::string& command = message.command;
  const std::vector<std::string>& params = message.params;
  using namespace numeric;
  if (command == "PING") {
    out.Send("PONG :" + (params.empty() ? std::string() : params.back()));
  } else if (command == kWelcome) {
    if (Negotiating()) OnWelcome(message);
  } else if (command == kSupport) {
    OnSupport(message, out);
  } else if (IsOneOf(command, {kErroneousNickname, kNicknameInUse, kUnavailableResource})) {
    OnNickRefused(message, out);
  } else if (command == kIsOn) {
    OnIson(message, out);
  } else if (command == "NICK") {
    OnNick(message);
  } else if (command == "JOIN") {
    if (!params.empty() && IsMe(NickOf(message.prefix))) own_prefix_ = message.prefix;
  } else if (command == "CAP") {
    OnCap(message, out);
  } else if (command == "AUTHENTICATE") {
    if (registration_ == Registration::kAuthenticating && !params.empty() && params[0] == "+") {
      SendCredentials(out);
    }
  } else if (command == kSaslSuccess) {
    if (registration_ != Registration::kAuthenticating) return;
    host::Log(host::LogLevel::kInfo, "SASL login accepted");
    FinishCapabilities(out);
  } else if (IsOneOf(command, {kNickLocked, kSaslFailed, kSaslTooLong, kSaslAborted})) {
    if (registration_ == Registration::kAuthenticating) OnSaslFailed(message, out);
  }
}

void IrcConnection::OnWelcome(const IrcMessage& message) {
  registration_ = Registration::kRegistered;
  // The nick the server gave, whatever we asked for.
  if (!message.params.empty()) nick_ = message.params[0];
  host::Log(host::LogLevel::kInfo, "registered as " + Shown(nick_));
}

void IrcConnection::OnSupport(const IrcMessage& message, WireOutput& out) {
  // 005 <nick> TOKEN TOKEN ... :are supported by this server
  for (std::size_t i = 1; i + 1 < message.params.size() && !out.stop; ++i) {
    std::string_view token = message.params[i];
    std::size_t equals = token.find('=');
    std::string_view name = token.substr(0, equals);
    std::string_view value = equals == std::string_view::npos ? "" : token.substr(equals + 1);
    if (name == "BOT" && value.size() == 1) {
      out.SendPaced("MODE " + nick_ + " +" + std::string(value));
    } else if (name == "UTF8ONLY" && codec_.encoding() != host::WireEncoding::kUtf8) {
      Stop("the server takes only UTF-8, so encoding = " + config_.encoding +
               " cannot work there: set encoding = utf-8",
           out);
    }
  }
}

void IrcConnection::OnCap(const IrcMessage& message, WireOutput& out) {
  if (message.params.size() < 3) return;
  const std::string& subcommand = message.params[1];
  if (subcommand == "LS" && registration_ == Registration::kListingCaps) {
    OnCapList(message, out);
  } else if (subcommand == "ACK" && registration_ == Registration::kRequestingCaps) {
    OnCapAck(message, out);
  } else if (subcommand == "NAK" && registration_ == Registration::kRequestingCaps) {
    OnCapNak(message, out);
  }
}

void IrcConnection::OnCapList(const IrcMessage& message, WireOutput& out) {
  const std::vector<std::string>& params = message.params;
  // Only what we would ask for is kept of the listing, whatever its length.
  std::string offered = " " + params.back() + " ";
  for (std::string_view wanted : kWantedCaps) {
    if (Lists(offered, wanted) &&
        offered_capabilities_.find(" " + std::string(wanted)) == std::string::npos) {
      offered_capabilities_ += " " + std::string(wanted);
    }
  }
  if (WantsSasl() && Lists(offered, "sasl") &&
      offered_capabilities_.find(" sasl") == std::string::npos) {
    offered_capabilities_ += " sasl";
  }
  bool more = params.size() > 3 && params[2] == "*";
  if (more && ++cap_lines_ < kMaxCapLines) return;
  if (WantsSasl() && offered_capabilities_.find(" sasl") == std::string::npos) {
    host::Log(host::LogLevel::kWarning, "the server offers no SASL");
    if (config_.sasl_required) {
      return Stop("the server offers no SASL and sasl_required is set", out);
    }
  }
  if (offered_capabilities_.empty()) return FinishCapabilities(out);
  registration_ = Registration::kRequestingCaps;
  out.Send("CAP REQ :" + offered_capabilities_.substr(1));
}

void IrcConnection::OnCapAck(const IrcMessage& message, WireOutput& out) {
  std::string acked = " " + message.params.back() + " ";
  if (WantsSasl() && acked.find(" sasl ") != std::string::npos) {
    registration_ = Registration::kAuthenticating;
    out.Send("AUTHENTICATE PLAIN");
  } else {
    FinishCapabilities(out);
  }
}

void IrcConnection::OnCapNak(const IrcMessage& message, WireOutput& out) {
  // All asked for or none: ask again for SASL alone when that is what matters.
  std::string refused = " " + message.params.back() + " ";
  if (WantsSasl() && refused.find(" sasl ") != std::string::npos &&
      offered_capabilities_ != " sasl") {
    offered_capabilities_ = " sasl";
    return out.Send("CAP REQ :sasl");
  }
  host::Log(host::LogLevel::kWarning, "the server refused the capabilities" + refused);
  if (WantsSasl() && config_.sasl_required) {
    return Stop("the server refused SASL and sasl_required is set", out);
  }
  FinishCapabilities(out);
}

void IrcConnection::OnSaslFailed(const IrcMessage& message, WireOutput& out) {
  std::string why = message.params.empty() ? message.command : Shown(message.params.back());
  if (config_.sasl_required) {
    return Stop(
        "SASL login refused (" + why + "); set sasl_required = false to go on without logging in",
        out);
  }
  host::Log(host::LogLevel::kError,
            "SASL login refused (" + why + "); going on without logging in");
  FinishCapabilities(out);
}

void IrcConnection::SendCredentials(WireOutput& out) {
  const std::string& account = config_.sasl_user.empty() ? config_.nick : config_.sasl_user;
  for (std::string& line : SaslPlainLines(account, config_.sasl_password)) {
    out.Send(std::move(line));
  }
}

void IrcConnection::FinishCapabilities(WireOutput& out) {
  registration_ = Registration::kAwaitingWelcome;
  out.Send("CAP END");
}

void IrcConnection::OnNickRefused(const IrcMessage& message, WireOutput& out) {
  if (!Negotiating()) return;
  // "deckhand_", then "deckhand2", "deckhand3"...; cut to fit a short nick limit. A server that
  // refuses every one is left for a while rather than asked again and again at once.
  if (++nick_attempts_ > kMaxNickAttempts) {
    return out.Drop("the server accepts none of our nicks");
  }
  std::string suffix = nick_attempts_ == 1 ? "_" : std::to_string(nick_attempts_);
  std::size_t limit = std::max(kCommonNickLength, config_.nick.size());
  std::string base = config_.nick.substr(0, limit - std::min(limit, suffix.size()));
  std::string next = base + suffix;
  host::Log(host::LogLevel::kWarning,
            "the server refuses the nick " + Shown(nick_) + " (" +
                (message.command == numeric::kErroneousNickname ? "not allowed" : "in use") +
                "), trying " + Shown(next));
  nick_ = next;
  out.Send("NICK " + nick_);
}

void IrcConnection::OnNick(const IrcMessage& message) {
  if (message.params.empty() || !IsMe(NickOf(message.prefix))) return;
  const std::string& new_nick = message.params[0];
  host::Log(host::LogLevel::kInfo, "now known as " + Shown(new_nick));
  nick_ = new_nick;
  own_prefix_.clear();  // the next JOIN shows it again
}

void IrcConnection::OnIson(const IrcMessage& message, WireOutput& out) {
  if (!registered() || message.params.size() < 2) return;
  // Our own nick is free when ISON does not list it.
  std::string listed = " " + FoldName(message.params.back(), case_mapping_) + " ";
  if (listed.find(" " + FoldName(config_.nick, case_mapping_) + " ") == std::string::npos) {
    out.Send("NICK " + config_.nick);
  }
}

void IrcConnection::Tick(Clock::time_point now, WireOutput& out) {
  Clock::duration interval = Seconds(config_.ping_interval);
  Clock::duration patience = Seconds(config_.ping_timeout);
  Clock::duration silent = now - last_heard_;
  if (keep_alive_ == KeepAlive::kPinged && silent >= interval + patience) {
    out.Drop("no answer from the server for " +
             FormatSeconds(config_.ping_interval + config_.ping_timeout) + " s");
  } else if (keep_alive_ == KeepAlive::kHeard && silent >= interval) {
    out.Send("PING :deckhand-irc");
    keep_alive_ = KeepAlive::kPinged;
  }
  if (registered() && !SameName(nick_, config_.nick, case_mapping_) && now >= regain_at_) {
    out.SendPaced("ISON " + config_.nick);
    regain_at_ = now + kNickRegainInterval;
  }
}

Clock::time_point IrcConnection::NextWake() const {
  Clock::time_point wake =
      last_heard_ + Seconds(config_.ping_interval) +
      (keep_alive_ == KeepAlive::kPinged ? Seconds(config_.ping_timeout) : Clock::duration::zero());
  if (registered() && !SameName(nick_, config_.nick, case_mapping_))
    wake = std::min(wake, regain_at_);
  return wake;
}

void IrcConnection::Quit(std::string_view reason, WireOutput& out) {
  registration_ = Registration::kQuitting;
  out.Send("QUIT :" + std::string(reason));
}

void IrcConnection::Stop(std::string reason, WireOutput& out) {
  host::Log(host::LogLevel::kError, reason);
  Quit("deckhand-irc stopped: settings do not fit the server", out);
  out.Drop(std::move(reason));
  out.stop = true;
}

bool IrcConnection::IsMe(std::string_view nick) const {
  return SameName(nick, nick_, case_mapping_);
}

std::size_t IrcConnection::RelayPrefixBytes() const {
  if (!own_prefix_.empty()) return own_prefix_.size() + 2;  // ":" and " "
  // Until a JOIN shows it: ":nick!~user@host " with the longest host name a server shows.
  constexpr std::size_t kMaxHost = 63;
  constexpr std::size_t kMaxUser = 10;
  return 1 + nick_.size() + 2 + std::min(config_.user.size(), kMaxUser) + 1 + kMaxHost + 1;
}

std::string IrcConnection::Shown(std::string_view wire) const { return irc::Shown(codec_, wire); }

}  // namespace deckhand::irc
