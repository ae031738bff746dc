#include "host/irc/bot.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "host/irc/log.h"

namespace deckhand::irc {
namespace {

// Longest line accepted from the server, tags included; a longer one ends the connection.
constexpr std::size_t kMaxInbox = 16384;
// Nicks up to this long are accepted by every server; a longer configured nick sets its own.
constexpr std::size_t kCommonNickLength = 9;
// Longest piece of an AUTHENTICATE line's payload.
constexpr std::size_t kSaslChunk = 400;
constexpr std::chrono::seconds kQuitGrace{2};
constexpr int kMaxNickAttempts = 20;

std::chrono::steady_clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds));
}

// IRC compares names without letter case, and "[]\~" are the upper case of "{}|^".
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
      return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

std::string Base64(std::string_view bytes) {
  std::string encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                               reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<int>(bytes.size()));
  encoded.resize(static_cast<std::size_t>(length));
  return encoded;
}

std::string HexSha256(X509* certificate) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

// Accepts exactly the server certificate whose SHA-256 is pinned, whoever signed it.
struct FingerprintCheck {
  std::string pinned;  // lower-case hex, no colons
  bool operator()(bool, asio::ssl::verify_context& context) const {
    X509_STORE_CTX* store = context.native_handle();
    if (X509_STORE_CTX_get_error_depth(store) > 0) return true;
    X509* certificate = X509_STORE_CTX_get_current_cert(store);
    bool match = certificate != nullptr && HexSha256(certificate) == pinned;
    if (!match) Log(LogLevel::kError, "the server's certificate is not the pinned one");
    return match;
  }
};

std::string NormalFingerprint(std::string_view text) {
  std::string hex;
  for (char c : text) {
    if (c != ':') hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return hex;
}

// A line for the log: passwords, and credentials in any form, never go there.
std::string WithoutSecrets(std::string_view line) {
  for (std::string_view secret : {"PASS ", "AUTHENTICATE "}) {
    if (line.starts_with(secret) && line != "AUTHENTICATE PLAIN") {
      return std::string(secret) + "(hidden)";
    }
  }
  return std::string(line);
}

std::string FormatSeconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

}  // namespace

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

asio::ssl::context MakeTlsContext(const BotConfig& config) {
  asio::ssl::context context(asio::ssl::context::tls_client);
  context.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                      asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                      asio::ssl::context::no_tlsv1_1);
  if (config.tls_verify) {
    context.set_default_verify_paths();
    if (!config.tls_ca.empty()) context.load_verify_file(config.tls_ca);
  }
  bool check = config.tls_verify || !config.tls_fingerprint.empty();
  context.set_verify_mode(check ? asio::ssl::verify_peer : asio::ssl::verify_none);
  return context;
}

struct Bot::Link {
  Link(asio::io_context& io, asio::ssl::context& tls, bool use_tls)
      : stream(io, tls), tls(use_tls) {}

  template <typename Buffer, typename Handler>
  void ReadLine(Buffer buffer, Handler handler) {
    if (tls) {
      asio::async_read_until(stream, buffer, '\n', std::move(handler));
    } else {
      asio::async_read_until(stream.next_layer(), buffer, '\n', std::move(handler));
    }
  }
  template <typename Handler>
  void Write(Handler handler) {
    if (tls) {
      asio::async_write(stream, asio::buffer(outgoing), std::move(handler));
    } else {
      asio::async_write(stream.next_layer(), asio::buffer(outgoing), std::move(handler));
    }
  }
  void Close() {
    asio::error_code ignored;
    stream.lowest_layer().close(ignored);
  }

  asio::ssl::stream<asio::ip::tcp::socket> stream;
  bool tls;
  bool connected = false;
  std::string inbox;
  std::string outgoing;  // the bytes of the write in flight
};

Bot::Bot(asio::io_context& io, asio::ssl::context& tls, const BotConfig& config, const Game& game,
         const WireCodec& codec, std::vector<WireChannel> channels)
    : io_(io),
      tls_(tls),
      config_(config),
      game_(game),
      codec_(codec),
      channels_(std::move(channels)),
      resolver_(io),
      reconnect_timer_(io),
      keep_alive_timer_(io),
      flood_timer_(io),
      quit_timer_(io),
      bucket_(config.flood_burst, config.flood_rate),
      nick_(config.nick),
      random_(std::random_device{}()) {}

void Bot::Start() { Connect(); }

void Bot::Connect() {
  auto link = std::make_shared<Link>(io_, tls_, config_.tls);
  link_ = link;
  nick_ = config_.nick;
  nick_attempts_ = 0;
  Log(LogLevel::kInfo, "connecting to " + config_.server + " port " + std::to_string(config_.port) +
                           (config_.tls ? " with TLS" : ""));
  resolver_.async_resolve(
      config_.server, std::to_string(config_.port),
      [this, link](const asio::error_code& error, asio::ip::tcp::resolver::results_type found) {
        if (link != link_) return;
        if (error) return Lost("cannot resolve " + config_.server + ": " + error.message());
        asio::async_connect(
            link->stream.lowest_layer(), found,
            [this, link](const asio::error_code& error, const asio::ip::tcp::endpoint&) {
              if (link != link_) return;
              if (error) return Lost("cannot connect: " + error.message());
              if (!link->tls) return OnConnected(link);
              SSL* ssl = link->stream.native_handle();
              asio::error_code not_address;
              asio::ip::make_address(config_.server, not_address);
              // The server's name goes in the handshake so that a shared host picks its
              // certificate; an address has no name to send.
              if (not_address) SSL_set_tlsext_host_name(ssl, config_.server.c_str());
              if (!config_.tls_fingerprint.empty()) {
                link->stream.set_verify_callback(
                    FingerprintCheck{NormalFingerprint(config_.tls_fingerprint)});
              } else if (config_.tls_verify) {
                link->stream.set_verify_callback(asio::ssl::host_name_verification(config_.server));
              }
              link->stream.async_handshake(
                  asio::ssl::stream_base::client, [this, link](const asio::error_code& error) {
                    if (link != link_) return;
                    if (error) return Lost("TLS handshake failed: " + error.message());
                    OnConnected(link);
                  });
            });
      });
}

void Bot::OnConnected(std::shared_ptr<Link> link) {
  link->connected = true;
  Log(LogLevel::kInfo, "connected to " + config_.server + " port " + std::to_string(config_.port));
  last_heard_ = Clock::now();
  ping_sent_ = false;
  Read(link);
  ArmKeepAlive();
  if (!config_.sasl_password.empty()) Send("CAP LS 302", true);
  if (!config_.server_password.empty()) Send("PASS " + config_.server_password, true);
  Send("NICK " + nick_, true);
  Send("USER " + config_.user + " 0 * :" + config_.realname, true);
}

void Bot::Lost(const std::string& reason) {
  if (link_) link_->Close();
  link_.reset();
  writing_ = false;
  urgent_.clear();
  paced_.clear();
  registered_ = false;
  own_prefix_.clear();
  offered_capabilities_.clear();
  keep_alive_timer_.cancel();
  flood_timer_.cancel();
  flood_timer_armed_ = false;
  rejoin_timers_.clear();
  if (stopping_) {
    Finish();
    return;
  }
  double delay = BackoffSeconds(failures_++, config_.reconnect_initial, config_.reconnect_max,
                                std::uniform_real_distribution<double>(0, 1)(random_));
  Log(LogLevel::kWarning,
      "connection lost: " + reason + "; reconnecting in " + FormatSeconds(delay) + " s");
  reconnect_timer_.expires_after(Seconds(delay));
  reconnect_timer_.async_wait([this](const asio::error_code& error) {
    if (!error && !stopping_) Connect();
  });
}

void Bot::Stop() {
  if (stopping_) return;
  stopping_ = true;
  Log(LogLevel::kInfo, "stopping");
  reconnect_timer_.cancel();
  resolver_.cancel();
  if (!link_ || !link_->connected) return Finish();
  paced_.clear();
  Send("QUIT :deckhand-irc stopped", true);
  quit_timer_.expires_after(kQuitGrace);
  quit_timer_.async_wait([this](const asio::error_code& error) {
    if (!error) Finish();
  });
}

void Bot::Finish() {
  if (link_) link_->Close();
  link_.reset();
  reconnect_timer_.cancel();
  keep_alive_timer_.cancel();
  flood_timer_.cancel();
  quit_timer_.cancel();
  rejoin_timers_.clear();
  io_.stop();
}

void Bot::Read(std::shared_ptr<Link> link) {
  link->ReadLine(
      asio::dynamic_buffer(link->inbox, kMaxInbox),
      [this, link](const asio::error_code& error, std::size_t size) {
        if (link != link_) return;
        if (error == asio::error::not_found) {
          return Lost("the server sent a line over " + std::to_string(kMaxInbox) + " bytes");
        }
        if (error == asio::error::eof) return Lost("the server closed the connection");
        if (error) return Lost(error.message());
        std::string line = link->inbox.substr(0, size);
        link->inbox.erase(0, size);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
          line.pop_back();
        }
        OnLine(line);
        if (link == link_) Read(link);
      });
}

void Bot::Send(std::string line, bool urgent) {
  if (!link_) return;
  Log(LogLevel::kDebug, "> " + WithoutSecrets(line));
  (urgent ? urgent_ : paced_).push_back(std::move(line));
  Pump();
}

void Bot::Pump() {
  if (writing_ || !link_) return;
  std::string& out = link_->outgoing;
  out.clear();
  for (; !urgent_.empty(); urgent_.pop_front()) out += urgent_.front() + "\r\n";
  if (out.empty() && !paced_.empty() && !config_.flood_control) {
    for (; !paced_.empty(); paced_.pop_front()) out += paced_.front() + "\r\n";
  } else if (out.empty() && !paced_.empty()) {
    Clock::time_point now = Clock::now();
    Clock::duration wait = bucket_.WaitBefore(now);
    if (wait > Clock::duration::zero()) {
      if (!flood_timer_armed_) {
        flood_timer_armed_ = true;
        flood_timer_.expires_after(wait);
        flood_timer_.async_wait([this](const asio::error_code& error) {
          if (error) return;
          flood_timer_armed_ = false;
          Pump();
        });
      }
      return;
    }
    bucket_.Take(now);
    out += paced_.front() + "\r\n";
    paced_.pop_front();
  }
  if (out.empty()) {
    if (stopping_) Finish();
    return;
  }
  writing_ = true;
  auto link = link_;
  link->Write([this, link](const asio::error_code& error, std::size_t) {
    if (link != link_) return;
    writing_ = false;
    if (error) return Lost("cannot send: " + error.message());
    Pump();
  });
}

void Bot::ArmKeepAlive() {
  Clock::duration interval = Seconds(config_.ping_interval);
  Clock::duration patience = Seconds(config_.ping_timeout);
  keep_alive_timer_.expires_at(last_heard_ + interval +
                               (ping_sent_ ? patience : Clock::duration{}));
  keep_alive_timer_.async_wait(
      [this, link = link_, interval, patience](const asio::error_code& error) {
        if (error || link != link_) return;
        Clock::duration silent = Clock::now() - last_heard_;
        if (ping_sent_ && silent >= interval + patience) {
          return Lost("no answer from the server for " +
                      FormatSeconds(config_.ping_interval + config_.ping_timeout) + " s");
        }
        if (!ping_sent_ && silent >= interval) {
          Send("PING :deckhand-irc", true);
          ping_sent_ = true;
        }
        ArmKeepAlive();
      });
}

void Bot::OnLine(std::string_view line) {
  last_heard_ = Clock::now();
  ping_sent_ = false;
  Log(LogLevel::kDebug, "< " + std::string(line));
  std::optional<IrcMessage> parsed = ParseIrcLine(line);
  if (!parsed) return;
  const IrcMessage& message = *parsed;
  const std::string& command = message.command;
  const std::vector<std::string>& params = message.params;
  if (command == "PING") {
    Send("PONG :" + (params.empty() ? std::string() : params.back()), true);
  } else if (command == "PRIVMSG") {
    OnChat(message);
  } else if (command == "001") {
    OnRegistered(message);
  } else if (command == "JOIN") {
    OnJoin(message);
  } else if (command == "KICK") {
    OnKick(message);
  } else if (command == "403" || command == "405" || command == "471" || command == "473" ||
             command == "474" || command == "475" || command == "477") {
    OnJoinRefused(message);
  } else if (command == "432" || command == "433") {
    OnNickRefused(message);
  } else if (command == "NICK") {
    if (IsMe(NickOf(message.prefix)) && !params.empty()) {
      Log(LogLevel::kInfo, "now known as " + Shown(params[0]));
      nick_ = params[0];
      own_prefix_.clear();  // the next JOIN shows it again
    }
  } else if (command == "CAP") {
    OnCap(message);
  } else if (command == "AUTHENTICATE") {
    if (!params.empty() && params[0] == "+") SendCredentials();
  } else if (command == "903") {
    Log(LogLevel::kInfo, "SASL login accepted");
    FinishCapabilities();
  } else if (command == "902" || command == "904" || command == "905" || command == "906") {
    Log(LogLevel::kError, "SASL login refused: " + (params.empty() ? command : params.back()));
    FinishCapabilities();
  } else if (command == "ERROR") {
    Log(LogLevel::kWarning, "the server says: " + (params.empty() ? "" : Shown(params.back())));
  }
}

void Bot::OnRegistered(const IrcMessage& message) {
  registered_ = true;
  failures_ = 0;
  if (!message.params.empty()) nick_ = message.params[0];
  Log(LogLevel::kInfo, "registered as " + Shown(nick_));
  for (const WireChannel& channel : channels_) {
    if (!channel.banned) Join(channel);
  }
}

void Bot::OnNickRefused(const IrcMessage& message) {
  if (registered_) return;
  // "deckhand_", then "deckhand2", "deckhand3"...; cut to fit a short nick limit. A server that
  // refuses every one is left for a while rather than asked again and again at once.
  if (++nick_attempts_ > kMaxNickAttempts) return Lost("the server accepts none of our nicks");
  std::string suffix = nick_attempts_ == 1 ? "_" : std::to_string(nick_attempts_);
  std::size_t limit = std::max(kCommonNickLength, config_.nick.size());
  std::string base = config_.nick.substr(0, limit - std::min(limit, suffix.size()));
  std::string next = base + suffix;
  Log(LogLevel::kWarning, "the server refuses the nick " + Shown(nick_) + " (" +
                              (message.command == "433" ? "in use" : "not allowed") + "), trying " +
                              Shown(next));
  nick_ = next;
  Send("NICK " + nick_, true);
}

void Bot::Join(const WireChannel& channel) {
  Send("JOIN " + channel.name + (channel.key.empty() ? "" : " " + channel.key));
}

void Bot::OnJoin(const IrcMessage& message) {
  if (!IsMe(NickOf(message.prefix)) || message.params.empty()) return;
  own_prefix_ = message.prefix;
  Log(LogLevel::kInfo, "joined " + Shown(message.params[0]));
}

void Bot::OnKick(const IrcMessage& message) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2 || !IsMe(params[1])) return;
  std::string reason = params.size() > 2 ? Shown(params.back()) : "";
  Log(LogLevel::kWarning, "kicked from " + Shown(params[0]) + " by " +
                              Shown(NickOf(message.prefix)) + " (" + reason + "); rejoining in " +
                              FormatSeconds(config_.rejoin_delay) + " s");
  // Timers of rejoins already made are dropped; the others keep waiting.
  Clock::time_point now = Clock::now();
  std::erase_if(rejoin_timers_, [now](const std::unique_ptr<asio::steady_timer>& timer) {
    return timer->expiry() <= now;
  });
  auto timer = std::make_unique<asio::steady_timer>(io_, Seconds(config_.rejoin_delay));
  timer->async_wait([this, link = link_, name = params[0]](const asio::error_code& error) {
    if (error || link != link_) return;
    WireChannel* channel = FindChannel(name);
    if (channel != nullptr && !channel->banned) Join(*channel);
  });
  rejoin_timers_.push_back(std::move(timer));
}

void Bot::OnJoinRefused(const IrcMessage& message) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2) return;
  WireChannel* channel = FindChannel(params[1]);
  std::string why = params.size() > 2 ? Shown(params.back()) : message.command;
  if (message.command == "474" && channel != nullptr) {
    channel->banned = true;
    Log(LogLevel::kWarning, "banned from " + Shown(params[1]) + " (" + why + "): not rejoining");
    return;
  }
  Log(LogLevel::kWarning, "cannot join " + Shown(params[1]) + ": " + why);
}

void Bot::OnChat(const IrcMessage& message) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2 || params[1].empty() || params[1][0] == '\x01') return;  // CTCP
  std::string_view sender = NickOf(message.prefix);
  if (sender.empty()) return;  // from the server itself: no one to answer
  ChatMessage chat{sender, params[0], !IsMe(params[0]), params[1]};
  std::vector<std::string> lines = game_.Answer(chat, RelayPrefixBytes());
  if (lines.empty()) return;
  Log(LogLevel::kInfo, "sending " + std::to_string(lines.size()) + " line(s) for the command at " +
                           Shown(chat.in_channel ? chat.where : sender));
  for (std::string& line : lines) Send(std::move(line));
}

void Bot::OnCap(const IrcMessage& message) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 3) return;
  const std::string& subcommand = params[1];
  if (subcommand == "LS") {
    offered_capabilities_ += " " + params.back();
    if (params.size() > 3 && params[2] == "*") return;  // more lines follow
    std::string offered = offered_capabilities_ + " ";
    if (offered.find(" sasl ") != std::string::npos ||
        offered.find(" sasl=") != std::string::npos) {
      Send("CAP REQ :sasl", true);
    } else {
      Log(LogLevel::kWarning, "the server offers no SASL; going on without logging in");
      FinishCapabilities();
    }
  } else if (subcommand == "ACK") {
    Send("AUTHENTICATE PLAIN", true);
  } else if (subcommand == "NAK") {
    Log(LogLevel::kWarning, "the server refused SASL; going on without logging in");
    FinishCapabilities();
  }
}

void Bot::SendCredentials() {
  const std::string& account = config_.sasl_user.empty() ? config_.nick : config_.sasl_user;
  for (std::string& line : SaslPlainLines(account, config_.sasl_password)) {
    Send(std::move(line), true);
  }
}

void Bot::FinishCapabilities() { Send("CAP END", true); }

std::size_t Bot::RelayPrefixBytes() const {
  if (!own_prefix_.empty()) return own_prefix_.size() + 2;  // ":" and " "
  // Until a JOIN shows it: ":nick!~user@host " with the longest host name a server shows.
  constexpr std::size_t kMaxHost = 63;
  constexpr std::size_t kMaxUser = 10;
  return 1 + nick_.size() + 2 + std::min(config_.user.size(), kMaxUser) + 1 + kMaxHost + 1;
}

WireChannel* Bot::FindChannel(std::string_view name) {
  for (WireChannel& channel : channels_) {
    if (SameName(channel.name, name)) return &channel;
  }
  return nullptr;
}

bool Bot::IsMe(std::string_view nick) const { return SameName(nick, nick_); }

std::string Bot::Shown(std::string_view wire) const {
  if (codec_.encoding() == WireEncoding::kUtf8) return std::string(wire);
  std::optional<std::string> cp932 = codec_.ToLibrary(wire);
  if (!cp932) return std::string(wire);
  return WireCodec(WireEncoding::kUtf8).ToWire(*cp932);
}

}  // namespace deckhand::irc
