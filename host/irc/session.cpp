#include "host/irc/session.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "host/irc/irc_numerics.h"
#include "host/irc/log.h"

namespace deckhand::irc {
namespace {

// Nicks up to this long are accepted by every server; a longer configured nick sets its own.
constexpr std::size_t kCommonNickLength = 9;
// Longest piece of an AUTHENTICATE line's payload.
constexpr std::size_t kSaslChunk = 400;
constexpr int kMaxNickAttempts = 20;

using Clock = std::chrono::steady_clock;

Clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

char FoldCase(char c) {
  switch (c) {
    case '[':
      return '{';
    case ']':
      return '}';
    case '\\':
      return '|';
    case '~':
      return '^';
    default:
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
}

std::string Base64(std::string_view bytes) {
  std::string encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                               reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<int>(bytes.size()));
  encoded.resize(static_cast<std::size_t>(length));
  return encoded;
}

std::string FormatSeconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

bool IsOneOf(std::string_view command, std::initializer_list<std::string_view> codes) {
  return std::find(codes.begin(), codes.end(), command) != codes.end();
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = FoldCase(c);
  return folded;
}

double BackoffSeconds(int failures, double initial, double maximum, double unit_random) {
  double delay = initial * std::pow(2.0, std::min(failures, 62));
  delay = std::min(delay, maximum);
  return delay - delay / 2 * unit_random;
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

IrcSession::IrcSession(const BotConfig& config, const WireCodec& codec,
                       std::vector<WireChannel> channels, Clock::time_point now)
    : config_(config),
      codec_(codec),
      channels_(std::move(channels)),
      nick_(config.nick),
      last_heard_(now),
      bucket_(config.flood_burst, config.flood_rate) {}

void IrcSession::Connected(Clock::time_point now) {
  last_heard_ = now;
  ping_sent_ = false;
  if (!config_.sasl_password.empty()) Urgent("CAP LS 302");
  if (!config_.server_password.empty()) Urgent("PASS " + config_.server_password);
  Urgent("NICK " + nick_);
  Urgent("USER " + config_.user + " 0 * :" + config_.realname);
}

SessionOutput IrcSession::TakeOutput() { return std::exchange(output_, {}); }

void IrcSession::Urgent(std::string line) {
  Log(LogLevel::kDebug, "> " + WithoutSecrets(line));
  output_.urgent.push_back(std::move(line));
}

void IrcSession::Drop(std::string reason) {
  if (!output_.drop) output_.drop = std::move(reason);
}

void IrcSession::Receive(std::string_view line, Clock::time_point now) {
  last_heard_ = now;
  ping_sent_ = false;
  Log(LogLevel::kDebug, "< " + std::string(line));
  std::optional<IrcMessage> parsed = ParseIrcLine(line);
  if (!parsed) return;
  const IrcMessage& message = *parsed;
  const std::string& command = message.command;
  const std::vector<std::string>& params = message.params;
  using namespace numeric;
  if (command == "PING") {
    Urgent("PONG :" + (params.empty() ? std::string() : params.back()));
  } else if (command == "PRIVMSG") {
    OnChat(message, now);
  } else if (command == kWelcome) {
    OnRegistered(message);
  } else if (command == "JOIN") {
    OnJoin(message);
  } else if (command == "KICK") {
    OnKick(message, now);
  } else if (IsOneOf(command, {kNoSuchChannel, kTooManyChannels, kChannelIsFull, kInviteOnlyChannel,
                               kBannedFromChannel, kBadChannelKey, kNeedRegisteredNick})) {
    OnJoinRefused(message);
  } else if (IsOneOf(command, {kErroneousNickname, kNicknameInUse})) {
    OnNickRefused(message);
  } else if (command == "NICK") {
    OnNick(message);
  } else if (command == "CAP") {
    OnCap(message);
  } else if (command == "AUTHENTICATE") {
    if (!params.empty() && params[0] == "+") SendCredentials();
  } else if (command == kSaslSuccess) {
    Log(LogLevel::kInfo, "SASL login accepted");
    FinishCapabilities();
  } else if (IsOneOf(command, {kNickLocked, kSaslFailed, kSaslTooLong, kSaslAborted})) {
    Log(LogLevel::kError, "SASL login refused: " + (params.empty() ? command : params.back()));
    FinishCapabilities();
  } else if (command == "ERROR") {
    Log(LogLevel::kWarning, "the server says: " + (params.empty() ? "" : Shown(params.back())));
  }
}

void IrcSession::OnRegistered(const IrcMessage& message) {
  registered_ = true;
  if (!message.params.empty()) nick_ = message.params[0];
  Log(LogLevel::kInfo, "registered as " + Shown(nick_));
  for (const WireChannel& channel : channels_) {
    if (std::find(banned_.begin(), banned_.end(), FoldName(channel.name)) == banned_.end()) {
      Join(channel);
    }
  }
}

void IrcSession::OnNickRefused(const IrcMessage& message) {
  if (registered_) return;
  // "deckhand_", then "deckhand2", "deckhand3"...; cut to fit a short nick limit. A server that
  // refuses every one is left for a while rather than asked again and again at once.
  if (++nick_attempts_ > kMaxNickAttempts) return Drop("the server accepts none of our nicks");
  std::string suffix = nick_attempts_ == 1 ? "_" : std::to_string(nick_attempts_);
  std::size_t limit = std::max(kCommonNickLength, config_.nick.size());
  std::string base = config_.nick.substr(0, limit - std::min(limit, suffix.size()));
  std::string next = base + suffix;
  Log(LogLevel::kWarning,
      "the server refuses the nick " + Shown(nick_) + " (" +
          (message.command == numeric::kNicknameInUse ? "in use" : "not allowed") + "), trying " +
          Shown(next));
  nick_ = next;
  Urgent("NICK " + nick_);
}

void IrcSession::OnNick(const IrcMessage& message) {
  if (!IsMe(NickOf(message.prefix)) || message.params.empty()) return;
  Log(LogLevel::kInfo, "now known as " + Shown(message.params[0]));
  nick_ = message.params[0];
  own_prefix_.clear();  // the next JOIN shows it again
}

void IrcSession::Join(const WireChannel& channel) {
  Urgent("JOIN " + channel.name + (channel.key.empty() ? "" : " " + channel.key));
}

void IrcSession::OnJoin(const IrcMessage& message) {
  if (!IsMe(NickOf(message.prefix)) || message.params.empty()) return;
  own_prefix_ = message.prefix;
  Log(LogLevel::kInfo, "joined " + Shown(message.params[0]));
}

void IrcSession::OnKick(const IrcMessage& message, Clock::time_point now) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2 || !IsMe(params[1])) return;
  std::string reason = params.size() > 2 ? Shown(params.back()) : "";
  Log(LogLevel::kWarning, "kicked from " + Shown(params[0]) + " by " +
                              Shown(NickOf(message.prefix)) + " (" + reason + "); rejoining in " +
                              FormatSeconds(config_.rejoin_delay) + " s");
  if (FindChannel(params[0]) == nullptr) return;
  // One rejoin waits per channel, however many KICKs came.
  rejoins_.try_emplace(FoldName(params[0]), now + Seconds(config_.rejoin_delay));
}

void IrcSession::OnJoinRefused(const IrcMessage& message) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2) return;
  WireChannel* channel = FindChannel(params[1]);
  std::string why = params.size() > 2 ? Shown(params.back()) : message.command;
  if (message.command == numeric::kBannedFromChannel && channel != nullptr) {
    banned_.push_back(FoldName(channel->name));
    Log(LogLevel::kWarning, "banned from " + Shown(params[1]) + " (" + why + "): not rejoining");
    return;
  }
  Log(LogLevel::kWarning, "cannot join " + Shown(params[1]) + ": " + why);
}

void IrcSession::OnChat(const IrcMessage& message, Clock::time_point) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2 || params[1].empty() || params[1][0] == '\x01') return;  // CTCP
  std::string_view sender = NickOf(message.prefix);
  if (sender.empty()) return;  // from the server itself: no one to answer
  LibraryJob job;
  job.id = next_job_++;
  job.sender = sender;
  job.where = params[0];
  job.in_channel = !IsMe(params[0]);
  job.text = params[1];
  job.relay_prefix_bytes = RelayPrefixBytes();
  output_.jobs.push_back(std::move(job));
}

void IrcSession::Answered(const LibraryJob& job, std::vector<std::string> lines,
                          Clock::time_point) {
  if (lines.empty() || quitting_) return;
  Log(LogLevel::kInfo, "sending " + std::to_string(lines.size()) + " line(s) for the command at " +
                           Shown(job.in_channel ? job.where : job.sender));
  for (std::string& line : lines) {
    Log(LogLevel::kDebug, "> " + line);
    paced_.push_back({std::move(line), job.sender});
  }
}

std::optional<Outgoing> IrcSession::NextPaced(Clock::time_point now) {
  if (paced_.empty()) return std::nullopt;
  if (config_.flood_control) {
    if (bucket_.WaitBefore(now) > Clock::duration::zero()) return std::nullopt;
    bucket_.Take(now);
  }
  Outgoing next = std::move(paced_.front());
  paced_.pop_front();
  return next;
}

void IrcSession::Tick(Clock::time_point now) {
  Clock::duration interval = Seconds(config_.ping_interval);
  Clock::duration patience = Seconds(config_.ping_timeout);
  Clock::duration silent = now - last_heard_;
  if (ping_sent_ && silent >= interval + patience) {
    Drop("no answer from the server for " +
         FormatSeconds(config_.ping_interval + config_.ping_timeout) + " s");
  } else if (!ping_sent_ && silent >= interval) {
    Urgent("PING :deckhand-irc");
    ping_sent_ = true;
  }
  for (auto rejoin = rejoins_.begin(); rejoin != rejoins_.end();) {
    if (rejoin->second > now) {
      ++rejoin;
      continue;
    }
    if (WireChannel* channel = FindChannel(rejoin->first)) Join(*channel);
    rejoin = rejoins_.erase(rejoin);
  }
}

Clock::time_point IrcSession::NextWake(Clock::time_point now) {
  Clock::time_point wake = last_heard_ + Seconds(config_.ping_interval) +
                           (ping_sent_ ? Seconds(config_.ping_timeout) : Clock::duration::zero());
  for (const auto& [name, when] : rejoins_) wake = std::min(wake, when);
  if (!paced_.empty() && config_.flood_control) {
    wake = std::min(wake, now + bucket_.WaitBefore(now));
  }
  return wake;
}

void IrcSession::Quit(std::string_view reason) {
  quitting_ = true;
  paced_.clear();
  Urgent("QUIT :" + std::string(reason));
}

void IrcSession::OnCap(const IrcMessage& message) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 3) return;
  const std::string& subcommand = params[1];
  if (subcommand == "LS") {
    offered_capabilities_ += " " + params.back();
    if (params.size() > 3 && params[2] == "*") return;  // more lines follow
    std::string offered = offered_capabilities_ + " ";
    if (offered.find(" sasl ") != std::string::npos ||
        offered.find(" sasl=") != std::string::npos) {
      Urgent("CAP REQ :sasl");
    } else {
      Log(LogLevel::kWarning, "the server offers no SASL; going on without logging in");
      FinishCapabilities();
    }
  } else if (subcommand == "ACK") {
    Urgent("AUTHENTICATE PLAIN");
  } else if (subcommand == "NAK") {
    Log(LogLevel::kWarning, "the server refused SASL; going on without logging in");
    FinishCapabilities();
  }
}

void IrcSession::SendCredentials() {
  const std::string& account = config_.sasl_user.empty() ? config_.nick : config_.sasl_user;
  for (std::string& line : SaslPlainLines(account, config_.sasl_password)) {
    Urgent(std::move(line));
  }
}

void IrcSession::FinishCapabilities() { Urgent("CAP END"); }

std::size_t IrcSession::RelayPrefixBytes() const {
  if (!own_prefix_.empty()) return own_prefix_.size() + 2;  // ":" and " "
  // Until a JOIN shows it: ":nick!~user@host " with the longest host name a server shows.
  constexpr std::size_t kMaxHost = 63;
  constexpr std::size_t kMaxUser = 10;
  return 1 + nick_.size() + 2 + std::min(config_.user.size(), kMaxUser) + 1 + kMaxHost + 1;
}

WireChannel* IrcSession::FindChannel(std::string_view name) {
  for (WireChannel& channel : channels_) {
    if (SameName(channel.name, name)) return &channel;
  }
  return nullptr;
}

bool IrcSession::IsMe(std::string_view nick) const { return SameName(nick, nick_); }

std::string IrcSession::Shown(std::string_view wire) const {
  if (codec_.encoding() == WireEncoding::kUtf8) return std::string(wire);
  std::optional<std::string> cp932 = codec_.ToLibrary(wire);
  if (!cp932) return std::string(wire);
  return WireCodec(WireEncoding::kUtf8).ToWire(*cp932);
}

}  // namespace deckhand::irc
