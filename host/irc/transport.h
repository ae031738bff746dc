// The bot's link to the server: resolve, connect, TLS, read, write, timers and reconnecting,
// each async step its own method. What the lines mean is the IrcSession's business; the
// library's calls run on a worker thread of their own.
#pragma once

#include <asio.hpp>
#include <asio/ssl.hpp>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/common/game.h"
#include "host/common/wire_codec.h"
#include "host/irc/config.h"
#include "host/irc/session.h"
#include "host/irc/tls.h"

namespace deckhand::irc {

class Transport {
 public:
  Transport(asio::io_context& io, asio::ssl::context& tls, const BotConfig& config,
            host::Game& game, const host::WireCodec& codec, std::vector<WireChannel> channels,
            IdentityBook& book);
  ~Transport();

  void Start();
  // Says QUIT when connected, then ends io.run().
  void Stop();
  // True when the bot stopped because the settings cannot work with the server.
  bool failed() const { return failed_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Link;
  using LinkPtr = std::shared_ptr<Link>;

  void Connect();
  void OnResolved(LinkPtr link, const asio::error_code& error,
                  const asio::ip::tcp::resolver::results_type& found);
  void OnTcpConnected(LinkPtr link, const asio::error_code& error);
  void OnHandshake(LinkPtr link, const asio::error_code& error);
  void OnConnectDeadline(LinkPtr link, const asio::error_code& error);
  void LinkUp(LinkPtr link);
  void Read(LinkPtr link);
  void OnRead(LinkPtr link, const asio::error_code& error, std::size_t size);
  void Dispatch(LinkPtr link);  // after every session event
  void Pump(LinkPtr link);
  void OnWritten(LinkPtr link, const asio::error_code& error);
  void OnWriteDeadline(LinkPtr link, const asio::error_code& error);
  void ArmSessionTimer(LinkPtr link);
  void OnSessionTimer(LinkPtr link, const asio::error_code& error);
  void RunJob(LibraryJob job);  // on the worker
  void OnAnswer(LibraryJob job, host::ChatAnswer answer);
  void Lost(const std::string& reason);
  void Finish();

  asio::io_context& io_;
  asio::ssl::context& tls_;
  const BotConfig& config_;
  host::Game& game_;  // touched on the worker only
  host::WireCodec codec_;
  std::vector<WireChannel> channels_;
  IdentityBook& book_;  // players followed across nicks, for every link
  SendQueue unsent_;    // lines of a dropped link, for the next one
  // Answers that came back while no link was up (hidden cards among them), for the next one.
  std::vector<std::pair<LibraryJob, host::ChatAnswer>> orphans_;

  LinkPtr link_;  // the connection of the moment; null between connections
  asio::ip::tcp::resolver resolver_;
  asio::steady_timer reconnect_timer_;
  asio::steady_timer quit_timer_;
  int failures_ = 0;
  bool ever_linked_ = false;  // whether any connection got as far as the server
  bool stopping_ = false;
  bool failed_ = false;
  std::mt19937 random_;
  // Last: destroyed first, so that no library call still runs when the rest goes.
  asio::thread_pool worker_{1};
};

}  // namespace deckhand::irc
