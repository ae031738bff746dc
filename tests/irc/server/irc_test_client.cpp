#include "irc/server/irc_test_client.h"

#include <arpa/inet.h>
#include <iconv.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "irc/server/ngircd_server.h"

namespace deckhand::irc::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::optional<std::string> Iconv(const char* to, const char* from, std::string_view in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(in.size() * 4 + 16, '\0');
  char* in_ptr = const_cast<char*>(in.data());
  std::size_t in_left = in.size();
  char* out_ptr = out.data();
  std::size_t out_left = out.size();
  bool ok = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<std::size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &out_ptr, &out_left) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(out.size() - out_left);
  return out;
}

const char* IconvName(const std::string& encoding) {
  if (encoding == "utf-8") return "UTF-8";
  if (encoding == "iso-2022-jp") return "ISO-2022-JP";
  return "CP932";
}

}  // namespace

std::optional<ServerLine> ParseServerLine(std::string_view raw) {
  ServerLine line;
  line.raw = std::string(raw);
  std::string_view rest = raw;
  if (rest.starts_with(':')) {
    std::size_t space = rest.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    std::string_view prefix = rest.substr(1, space - 1);
    line.nick = std::string(prefix.substr(0, prefix.find('!')));
    rest.remove_prefix(space + 1);
  }
  while (!rest.empty()) {
    if (rest.starts_with(':') && !line.command.empty()) {
      line.params.emplace_back(rest.substr(1));
      break;
    }
    std::size_t space = rest.find(' ');
    std::string_view word = rest.substr(0, space);
    if (!word.empty()) (line.command.empty() ? line.command : line.params.emplace_back()) = word;
    rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
  }
  if (line.command.empty()) return std::nullopt;
  return line;
}

std::optional<std::string> WireText::ToWire(std::string_view cp932) const {
  return Iconv(IconvName(encoding_), "CP932", cp932);
}

std::optional<std::string> WireText::FromWire(std::string_view wire) const {
  return Iconv("CP932", IconvName(encoding_), wire);
}

IrcTestClient::~IrcTestClient() {
  if (socket_ >= 0) close(socket_);
}

bool IrcTestClient::Connect(std::uint16_t port) {
  socket_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
  SendRaw("NICK " + nick_);
  SendRaw("USER " + user_ + " 0 * :deckhand test client");
  if (!NextCommand("001")) return false;
  SendRaw(std::string("OPER ") + NgircdServer::kOperatorName + " " +
          NgircdServer::kOperatorPassword);
  SendRaw("MODE " + nick_ + " +F");
  for (auto deadline = Clock::now() + kWait; Clock::now() < deadline;) {
    std::optional<ServerLine> line = Next(kWait);
    if (!line) return false;
    if (line->command == "MODE" && !line->params.empty() &&
        line->params.back().find('F') != std::string::npos) {
      return true;
    }
  }
  return false;
}

bool IrcTestClient::Join(std::string_view cp932_channel) {
  std::optional<std::string> channel = text_.ToWire(cp932_channel);
  if (!channel) return false;
  SendRaw("JOIN " + *channel);
  for (auto deadline = Clock::now() + kWait; Clock::now() < deadline;) {
    std::optional<ServerLine> line = NextCommand("JOIN");
    if (!line) return false;
    if (line->nick == nick_ && !line->params.empty() && line->params[0] == *channel) return true;
  }
  return false;
}

void IrcTestClient::Say(std::string_view cp932_target, std::string_view cp932_text) {
  std::optional<std::string> target = text_.ToWire(cp932_target);
  std::optional<std::string> text = text_.ToWire(cp932_text);
  if (target && text) SendRaw("PRIVMSG " + *target + " :" + *text);
}

void IrcTestClient::SendRaw(std::string_view line) {
  std::string bytes = std::string(line) + "\r\n";
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

std::optional<std::string> IrcTestClient::ReadLine(Clock::time_point deadline) {
  for (;;) {
    std::size_t end = buffer_.find("\r\n");
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 2);
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (socket_ < 0 || left.count() <= 0) return std::nullopt;
    pollfd ready{socket_, POLLIN, 0};
    int polled = poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return std::nullopt;
    char chunk[4096];
    ssize_t got = recv(socket_, chunk, sizeof chunk, 0);
    if (got <= 0) {
      close(socket_);
      socket_ = -1;
      return std::nullopt;
    }
    buffer_.append(chunk, static_cast<std::size_t>(got));
  }
}

std::optional<ServerLine> IrcTestClient::Next(Duration limit) {
  auto deadline = Clock::now() + limit;
  while (std::optional<std::string> raw = ReadLine(deadline)) {
    std::optional<ServerLine> line = ParseServerLine(*raw);
    if (!line) continue;
    if (line->command == "PING") {
      SendRaw("PONG :" + (line->params.empty() ? std::string() : line->params.back()));
      continue;
    }
    return line;
  }
  return std::nullopt;
}

std::optional<ServerLine> IrcTestClient::NextNoticeFrom(std::string_view nick, Duration limit) {
  auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    auto left = std::chrono::duration_cast<Duration>(deadline - Clock::now());
    std::optional<ServerLine> line = Next(left);
    if (!line) return std::nullopt;
    if (line->command == "NOTICE" && line->nick == nick) return line;
  }
  return std::nullopt;
}

std::optional<ServerLine> IrcTestClient::NextCommand(std::string_view command, Duration limit) {
  auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    auto left = std::chrono::duration_cast<Duration>(deadline - Clock::now());
    std::optional<ServerLine> line = Next(left);
    if (!line) return std::nullopt;
    if (line->command == command) return line;
  }
  return std::nullopt;
}

std::vector<ServerLine> IrcTestClient::Drain(Duration limit) {
  std::vector<ServerLine> lines;
  auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    auto left = std::chrono::duration_cast<Duration>(deadline - Clock::now());
    std::optional<ServerLine> line = Next(left);
    if (!line) break;
    lines.push_back(std::move(*line));
  }
  return lines;
}

}  // namespace deckhand::irc::testing
