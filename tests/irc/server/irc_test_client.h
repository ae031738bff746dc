// A plain IRC client for the tests, on the server's plain port: registers, takes the operator
// mode that lifts the server's flood penalties (so that only the bot is paced), joins, sends
// PRIVMSGs and collects what arrives. Texts are converted between CP932 (what the library and
// its card files hold) and the encoding on the wire with iconv, independently of the bot's own
// conversion. Every wait is bounded.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::irc::testing {

// A line as the server relayed it.
struct ServerLine {
  std::string raw;                  // the bytes without CR LF
  std::string nick;                 // of the prefix, empty for none
  std::string command;              // "NOTICE", "001"...
  std::vector<std::string> params;  // the trailing parameter last
};
std::optional<ServerLine> ParseServerLine(std::string_view raw);

// CP932 text to and from one of "utf-8", "iso-2022-jp", "shift_jis".
class WireText {
 public:
  explicit WireText(std::string encoding) : encoding_(std::move(encoding)) {}
  std::optional<std::string> ToWire(std::string_view cp932) const;
  std::optional<std::string> FromWire(std::string_view wire) const;
  const std::string& encoding() const { return encoding_; }

 private:
  std::string encoding_;
};

class IrcTestClient {
 public:
  using Duration = std::chrono::milliseconds;
  static constexpr Duration kWait = std::chrono::seconds(20);

  // `user`, the USER name the server shows in user@host: the nick when empty.
  IrcTestClient(std::string nick, WireText text, std::string user = "")
      : nick_(std::move(nick)),
        user_(user.empty() ? nick_ : std::move(user)),
        text_(std::move(text)) {}
  ~IrcTestClient();
  IrcTestClient(const IrcTestClient&) = delete;
  IrcTestClient& operator=(const IrcTestClient&) = delete;

  // Connects and registers; then becomes operator with the flood-exempt user mode.
  bool Connect(std::uint16_t port);
  // Joins a channel whose name is given in CP932; waits for the server's confirmation.
  bool Join(std::string_view cp932_channel);
  // PRIVMSG to a nick or channel (CP932, converted to the wire).
  void Say(std::string_view cp932_target, std::string_view cp932_text);
  void SendRaw(std::string_view line);

  // The next line from the server (PINGs are answered and skipped); nullopt after `limit` or
  // when the connection is gone.
  std::optional<ServerLine> Next(Duration limit = kWait);
  // The next NOTICE from `nick`, skipping anything else; nullopt after `limit`.
  std::optional<ServerLine> NextNoticeFrom(std::string_view nick, Duration limit = kWait);
  // The next line whose command is `command`; nullopt after `limit`.
  std::optional<ServerLine> NextCommand(std::string_view command, Duration limit = kWait);
  // Everything that arrives within `limit` (for checking what did NOT come).
  std::vector<ServerLine> Drain(Duration limit);

  const WireText& text() const { return text_; }
  const std::string& nick() const { return nick_; }

 private:
  std::optional<std::string> ReadLine(std::chrono::steady_clock::time_point deadline);

  std::string nick_;
  std::string user_;
  WireText text_;
  int socket_ = -1;
  std::string buffer_;
};

}  // namespace deckhand::irc::testing
