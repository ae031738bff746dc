// deckhand-discord's HTTP side: a small server that Discord POSTs interactions to, and a client
// for the calls the bot makes to Discord (completing a deferred reply, registering commands).
// Bytes and timers only: what a request means is the interactions endpoint's business
// (host/discord/interactions.h).
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "host/discord/http_message.h"

namespace deckhand::discord {

// Answers one request. Called on the server's thread; must call `respond` exactly once, from any
// thread, at once or later (a handler that needs time hands the request on and returns).
using Respond = std::function<void(HttpResponse)>;
using HttpHandler = std::function<void(HttpRequest, Respond)>;

struct ServerLimits {
  std::size_t body_bytes = 64 * 1024;  // a longer body is answered 413 unread
  std::size_t header_bytes = 8 * 1024;
  std::size_t connections = 64;  // more are closed at once, unanswered
  // From the connection's start (or the last answer, on a kept-alive connection) to the whole
  // request read; a client slower than this is dropped.
  std::chrono::milliseconds read_deadline{10000};
  // A handler that has not responded by then: the client gets 503 and the handler's later
  // response is dropped.
  std::chrono::milliseconds answer_deadline{15000};
};

// One thread runs `io`: the server's thread, on which connections are served and the handler
// is called.
class HttpServer {
 public:
  // Listens on `endpoint` (port 0: a free one) once Start is called; with `tls`, speaks HTTPS.
  HttpServer(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& endpoint,
             ServerLimits limits, HttpHandler handler,
             std::shared_ptr<boost::asio::ssl::context> tls = nullptr);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and starts accepting; false and `error` when the address cannot be bound.
  bool Start(std::string* error);
  // Stops accepting and closes every connection. Called from the server's thread, or once its
  // io_context has stopped, it does so at once; from elsewhere, it is posted to that thread.
  void Stop();
  unsigned short port() const;

 private:
  class Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace deckhand::discord
