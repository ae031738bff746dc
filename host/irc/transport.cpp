// clang-format off
// The concurrent tasks of one connection. All run on the io_context's thread except the
// library's calls, which run on the worker, one at a time, in order:
//
//   Connect -> resolve -> TCP connect -> TLS handshake -> LinkUp      [connect deadline]
//                                                           |
//             +---------------------------------------------+
//             |                    |                        |
//   Read -> OnRead        session timer (keep-alive,    worker: RunJob
//             |           rejoins, pacing) -> Tick          | (posted back)
//             |                    |                     OnAnswer
//             +--------------------+------------------------+
//                                  |
//                     Dispatch -> Pump -> write -> OnWritten           [write deadline]
//
// Every handler first checks that its link is still the current one; Lost drops the link (and
// its session with it) and arms the reconnect timer, which starts again from Connect.
// clang-format on
#include "host/irc/transport.h"

#include <cstdio>

#include "host/common/log.h"

namespace deckhand::irc {
namespace {

// Longest line accepted from the server, tags included; a longer one ends the connection.
constexpr std::size_t kMaxInbox = 16384;
constexpr std::chrono::seconds kQuitGrace{2};
// Urgent lines (PONGs, mostly) waiting behind a write the server does not take: past this the
// server reads nothing and the link is dropped rather than the bot growing.
constexpr std::size_t kMaxUrgentBytes = 64 * 1024;

std::chrono::steady_clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds));
}

}  // namespace

struct Transport::Link {
  Link(asio::io_context& io, asio::ssl::context& tls, const BotConfig& config,
       const host::WireCodec& codec, std::vector<WireChannel> channels, IdentityBook& book)
      : stream(io, tls),
        tls(config.tls),
        deadline(io),
        session_timer(io),
        session(config, codec, std::move(channels), book, Clock::now()) {}

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
    deadline.cancel();
    session_timer.cancel();
  }

  TlsStream stream;
  bool tls;
  bool up = false;              // connected (and TLS done)
  asio::steady_timer deadline;  // of the connection, then of each write
  asio::steady_timer session_timer;
  IrcSession session;
  std::string inbox;
  std::string outgoing;                           // the bytes of the write in flight
  std::string urgent;                             // urgent lines waiting for the write in flight
  std::optional<Clock::time_point> signed_on_at;  // when the server accepted the bot
  bool writing = false;
};

Transport::Transport(asio::io_context& io, asio::ssl::context& tls, const BotConfig& config,
                     host::Game& game, const host::WireCodec& codec,
                     std::vector<WireChannel> channels, IdentityBook& book)
    : io_(io),
      tls_(tls),
      config_(config),
      game_(game),
      codec_(codec),
      channels_(std::move(channels)),
      book_(book),
      resolver_(io),
      reconnect_timer_(io),
      quit_timer_(io),
      random_(std::random_device{}()) {}

Transport::~Transport() { worker_.join(); }

void Transport::Start() { Connect(); }

void Transport::Connect() {
  auto link = std::make_shared<Link>(io_, tls_, config_, codec_, channels_, book_);
  link->session.Adopt(std::move(unsent_));
  unsent_ = {};
  for (auto& [job, answer] : orphans_) {
    link->session.Answered(job, answer, Clock::now());
  }
  orphans_.clear();
  link_ = link;
  host::Log(host::LogLevel::kInfo, "connecting to " + config_.server + " port " +
                                       std::to_string(config_.port) +
                                       (config_.tls ? " with TLS" : ""));
  link->deadline.expires_after(Seconds(config_.connect_timeout));
  link->deadline.async_wait(
      [this, link](const asio::error_code& error) { OnConnectDeadline(link, error); });
  resolver_.async_resolve(
      config_.server, std::to_string(config_.port),
      [this, link](const asio::error_code& error, asio::ip::tcp::resolver::results_type found) {
        OnResolved(link, error, found);
      });
}

void Transport::OnResolved(LinkPtr link, const asio::error_code& error,
                           const asio::ip::tcp::resolver::results_type& found) {
  if (link != link_) return;
  if (error) return Lost("cannot resolve " + config_.server + ": " + error.message());
  asio::async_connect(link->stream.lowest_layer(), found,
                      [this, link](const asio::error_code& error, const asio::ip::tcp::endpoint&) {
                        OnTcpConnected(link, error);
                      });
}

void Transport::OnTcpConnected(LinkPtr link, const asio::error_code& error) {
  if (link != link_) return;
  if (error) return Lost(error.message());
  if (!link->tls) return LinkUp(link);
  PrepareTlsStream(link->stream, config_);
  link->stream.async_handshake(
      asio::ssl::stream_base::client,
      [this, link](const asio::error_code& error) { OnHandshake(link, error); });
}

void Transport::OnHandshake(LinkPtr link, const asio::error_code& error) {
  if (link != link_) return;
  if (error) return Lost("TLS handshake failed: " + error.message());
  LinkUp(link);
}

void Transport::OnConnectDeadline(LinkPtr link, const asio::error_code& error) {
  if (error || link != link_ || link->up) return;
  Lost("no connection within " + FormatSeconds(config_.connect_timeout) + " s");
}

void Transport::LinkUp(LinkPtr link) {
  link->up = true;
  ever_linked_ = true;
  link->deadline.cancel();
  host::Log(host::LogLevel::kInfo,
            "connected to " + config_.server + " port " + std::to_string(config_.port));
  link->session.Connected(Clock::now());
  Read(link);
  Dispatch(link);
}

void Transport::Read(LinkPtr link) {
  link->ReadLine(
      asio::dynamic_buffer(link->inbox, kMaxInbox),
      [this, link](const asio::error_code& error, std::size_t size) { OnRead(link, error, size); });
}

void Transport::OnRead(LinkPtr link, const asio::error_code& error, std::size_t size) {
  if (link != link_) return;
  if (error == asio::error::not_found) {
    return Lost("the server sent a line over " + std::to_string(kMaxInbox) + " bytes");
  }
  if (error == asio::error::eof) return Lost("the server closed the connection");
  if (error) return Lost(error.message());
  std::string_view line(link->inbox.data(), size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  link->session.Receive(line, Clock::now());
  link->inbox.erase(0, size);
  Dispatch(link);
  if (link == link_) Read(link);
}

void Transport::Dispatch(LinkPtr link) {
  if (link != link_) return;
  SessionOutput output = link->session.TakeOutput();
  for (const std::string& line : output.urgent) link->urgent += line + "\r\n";
  if (link->session.registered() && !link->signed_on_at) link->signed_on_at = Clock::now();
  if (link->urgent.size() > kMaxUrgentBytes) {
    output.drop = "the server takes nothing we send (" + std::to_string(link->urgent.size()) +
                  " bytes waiting)";
  }
  for (LibraryJob& job : output.jobs) {
    // Help is answered here, never behind a command that waits for the save file.
    if (std::optional<host::ChatAnswer> answer = game_.AnswerAtOnce(job.request)) {
      asio::post(io_, [this, job = std::move(job), answer = std::move(*answer)]() mutable {
        OnAnswer(std::move(job), std::move(answer));
      });
      continue;
    }
    asio::post(worker_, [this, job = std::move(job)]() mutable { RunJob(std::move(job)); });
  }
  for (PresenceChange& change : output.changes) {
    asio::post(worker_, [this, change = std::move(change)] { Apply(game_, change); });
  }
  if (output.stop) {
    failed_ = true;
    Stop();
    return;
  }
  if (output.drop) return Lost(*output.drop);
  Pump(link);
  if (link == link_) ArmSessionTimer(link);
}

void Transport::Pump(LinkPtr link) {
  if (link->writing || !link->up) return;
  link->outgoing.clear();
  std::swap(link->outgoing, link->urgent);
  if (link->outgoing.empty()) {
    while (std::optional<Outgoing> next = link->session.NextPaced(Clock::now())) {
      link->outgoing += next->line + "\r\n";
      if (config_.flood_control) break;
    }
  }
  if (link->outgoing.empty()) {
    if (stopping_) Finish();
    return;
  }
  link->writing = true;
  link->deadline.expires_after(Seconds(config_.write_timeout));
  link->deadline.async_wait(
      [this, link](const asio::error_code& error) { OnWriteDeadline(link, error); });
  link->Write([this, link](const asio::error_code& error, std::size_t) { OnWritten(link, error); });
}

void Transport::OnWritten(LinkPtr link, const asio::error_code& error) {
  if (link != link_) return;
  link->writing = false;
  link->deadline.cancel();
  if (error) return Lost("cannot send: " + error.message());
  Pump(link);
  if (link == link_) ArmSessionTimer(link);
}

void Transport::OnWriteDeadline(LinkPtr link, const asio::error_code& error) {
  if (error || link != link_ || !link->writing) return;
  Lost("the server took nothing we sent for " + FormatSeconds(config_.write_timeout) + " s");
}

void Transport::ArmSessionTimer(LinkPtr link) {
  link->session_timer.expires_at(link->session.NextWake(Clock::now()));
  link->session_timer.async_wait(
      [this, link](const asio::error_code& error) { OnSessionTimer(link, error); });
}

void Transport::OnSessionTimer(LinkPtr link, const asio::error_code& error) {
  if (error || link != link_) return;
  link->session.Tick(Clock::now());
  Dispatch(link);
}

void Transport::RunJob(LibraryJob job) {
  host::ChatAnswer answer = game_.Answer(job.request);
  asio::post(io_, [this, job = std::move(job), answer = std::move(answer)]() mutable {
    OnAnswer(std::move(job), std::move(answer));
  });
}

void Transport::OnAnswer(LibraryJob job, host::ChatAnswer answer) {
  if (stopping_) return;
  if (!link_) {
    // As many as can be waiting for the worker: the sessions bound those.
    constexpr std::size_t kMaxOrphans = 400;
    if (orphans_.size() < kMaxOrphans) orphans_.emplace_back(std::move(job), std::move(answer));
    return;
  }
  link_->session.Answered(job, answer, Clock::now());
  Dispatch(link_);
}

void Transport::Lost(const std::string& reason) {
  if (link_ && link_->signed_on_at &&
      ResetsBackoff(Clock::now() - *link_->signed_on_at, link_->session.closed_for_flooding())) {
    failures_ = 0;
  }
  if (link_) {
    link_->Close();
    // What was waiting goes out on the next link, to those still there.
    unsent_ = link_->session.TakeUnsent();
  }
  link_.reset();
  if (stopping_) return Finish();
  double delay = BackoffSeconds(failures_, config_.reconnect_initial, config_.reconnect_max,
                                std::uniform_real_distribution<double>(0, 1)(random_));
  host::Log(host::LogLevel::kWarning,
            ever_linked_
                ? "connection lost: " + reason + "; reconnecting in " + FormatSeconds(delay) + " s"
                : NeverConnectedText(config_.server, config_.port, reason, failures_, delay));
  ++failures_;
  reconnect_timer_.expires_after(Seconds(delay));
  reconnect_timer_.async_wait([this](const asio::error_code& error) {
    if (!error && !stopping_) Connect();
  });
}

void Transport::Stop() {
  if (stopping_) return;
  stopping_ = true;
  host::Log(host::LogLevel::kInfo, "stopping");
  reconnect_timer_.cancel();
  resolver_.cancel();
  if (!link_ || !link_->up) return Finish();
  if (!link_->session.quitting()) link_->session.Quit("deckhand-irc stopped");
  Dispatch(link_);
  quit_timer_.expires_after(kQuitGrace);
  quit_timer_.async_wait([this](const asio::error_code& error) {
    if (!error) Finish();
  });
}

void Transport::Finish() {
  if (link_) link_->Close();
  link_.reset();
  reconnect_timer_.cancel();
  quit_timer_.cancel();
  io_.stop();
}

}  // namespace deckhand::irc
