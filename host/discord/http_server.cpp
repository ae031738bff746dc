#include "host/discord/http_server.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace deckhand::discord {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;

namespace {

// After an error answer the client may still be sending the rest of a refused body; closing with
// unread bytes would reset the connection and could erase the answer before the client reads it,
// so the server reads and drops what follows for a little while first.
constexpr std::size_t kLingerBytes = 256 * 1024;
constexpr std::chrono::milliseconds kLingerTime{1000};
// A failed accept (too many open files) is retried after a pause rather than at once, in a loop.
constexpr std::chrono::milliseconds kAcceptRetry{100};

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

HttpRequest ToHttpRequest(http::request<http::string_body>&& message) {
  HttpRequest request;
  request.method = std::string(message.method_string());
  request.target = std::string(message.target());
  for (const auto& field : message) {
    request.headers[LowerAscii(field.name_string())] = std::string(field.value());
  }
  request.body = std::move(message.body());
  return request;
}

// A status outside what HTTP/1.1 can carry is the handler's mistake: the client gets 500.
unsigned ValidStatus(int status) {
  return status >= 100 && status <= 599 ? static_cast<unsigned>(status) : 500U;
}

// What the server keeps of a connection, whatever its stream: Stop closes them all.
class ConnectionBase {
 public:
  virtual ~ConnectionBase() = default;
  virtual void Close() = 0;
};

// The listening side; HttpServer's Impl, under a name the connections can reach.
class Server : public std::enable_shared_from_this<Server> {
 public:
  Server(asio::io_context& io, const tcp::endpoint& endpoint, ServerLimits limits,
         HttpHandler handler, std::shared_ptr<asio::ssl::context> tls)
      : io_(io),
        endpoint_(endpoint),
        limits_(limits),
        handler_(std::move(handler)),
        tls_(std::move(tls)),
        acceptor_(io),
        accept_retry_(io) {}

  bool Start(std::string* error);
  void Stop();
  unsigned short port() const { return port_.load(); }

  const ServerLimits& limits() const { return limits_; }
  bool stopped() const { return stopped_; }
  asio::io_context& io() { return io_; }

  // Runs the handler, which must not throw at the server; one that does gets 500.
  void Handle(HttpRequest request, const Respond& respond) noexcept;

  void Forget(std::uint64_t id) { connections_.erase(id); }

 private:
  void Accept();
  void OnAccept(const error_code& ec, tcp::socket socket);
  void Adopt(tcp::socket socket);
  void CloseAll();

  asio::io_context& io_;
  tcp::endpoint endpoint_;
  ServerLimits limits_;
  HttpHandler handler_;
  std::shared_ptr<asio::ssl::context> tls_;
  tcp::acceptor acceptor_;
  asio::steady_timer accept_retry_;
  std::atomic<unsigned short> port_{0};
  bool stopped_ = false;
  std::uint64_t next_id_ = 0;
  std::unordered_map<std::uint64_t, std::weak_ptr<ConnectionBase>> connections_;
};

// One client's connection: read a request, hand it to the handler, write its answer, and again
// while the client keeps the connection alive. Everything runs on the server's thread; the
// handler's Respond posts back to it.
template <class Stream>
class Connection : public ConnectionBase, public std::enable_shared_from_this<Connection<Stream>> {
 public:
  static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;

  template <class... StreamArgs>
  Connection(std::shared_ptr<Server> server, std::uint64_t id, StreamArgs&&... args)
      : server_(std::move(server)),
        id_(id),
        stream_(std::forward<StreamArgs>(args)...),
        answer_timer_(server_->io()) {}

  ~Connection() override { server_->Forget(id_); }

  void Run() {
    // The read deadline runs from the connection's start, a TLS handshake included.
    Lowest().expires_after(server_->limits().read_deadline);
    if constexpr (kTls) {
      stream_.async_handshake(asio::ssl::stream_base::server,
                              [self = this->shared_from_this()](const error_code& ec) {
                                if (ec) return self->Close();
                                self->ReadRequest();
                              });
    } else {
      ReadRequest();
    }
  }

  void Close() override {
    if (closed_) return;
    closed_ = true;
    awaiting_answer_ = false;
    answer_timer_.cancel();
    error_code ignored;
    Lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
    Lowest().close();
  }

 private:
  beast::tcp_stream& Lowest() { return beast::get_lowest_layer(stream_); }

  void ReadRequest() {
    if (closed_) return;
    const ServerLimits& limits = server_->limits();
    parser_.emplace();
    parser_->body_limit(limits.body_bytes);
    parser_->header_limit(
        static_cast<std::uint32_t>(std::min<std::size_t>(limits.header_bytes, UINT32_MAX)));
    http::async_read(
        stream_, buffer_, *parser_,
        [self = this->shared_from_this()](const error_code& ec, std::size_t) { self->OnRead(ec); });
  }

  void OnRead(const error_code& ec) {
    if (closed_) return;
    if (ec == http::error::body_limit) return Refuse(413);
    if (ec == http::error::header_limit) return Refuse(431);
    if (ec == http::error::end_of_stream || ec == http::error::partial_message) return Close();
    if (ec && ec.category() == http::make_error_code(http::error::bad_method).category()) {
      return Refuse(400);
    }
    if (ec || server_->stopped()) return Close();

    version_ = parser_->get().version();
    keep_alive_ = parser_->get().keep_alive();
    // No read is pending until the answer is written: the connection waits for the handler.
    Lowest().expires_never();
    AwaitAnswer(ToHttpRequest(parser_->release()));
  }

  void AwaitAnswer(HttpRequest request) {
    const std::uint64_t request_id = ++request_id_;
    awaiting_answer_ = true;
    answer_timer_.expires_after(server_->limits().answer_deadline);
    answer_timer_.async_wait([self = this->shared_from_this(), request_id](const error_code& ec) {
      if (ec || !self->awaiting_answer_ || request_id != self->request_id_) return;
      self->keep_alive_ = false;
      self->Answer(request_id, HttpResponse{503, "text/plain", "The answer took too long.\n"});
    });
    server_->Handle(std::move(request), MakeRespond(request_id));
  }

  // The handler's side: callable once, from any thread, even after the connection is gone.
  Respond MakeRespond(std::uint64_t request_id) {
    auto used = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<Connection> weak = this->shared_from_this();
    return [weak, used, request_id](HttpResponse response) {
      if (used->exchange(true)) return;
      try {
        auto self = weak.lock();
        if (!self) return;
        // The connection moves into the posted call, so that its last owner lets it go on the
        // server's thread, not here.
        asio::io_context& io = self->server_->io();
        asio::post(io, [self = std::move(self), request_id, response = std::move(response)]() {
          self->Answer(request_id, response);
        });
      } catch (...) {
        // Out of memory while posting: the answer deadline answers 503 instead.
      }
    };
  }

  void Answer(std::uint64_t request_id, const HttpResponse& answer) {
    if (closed_ || !awaiting_answer_ || request_id != request_id_) return;
    awaiting_answer_ = false;
    answer_timer_.cancel();
    Write(answer, keep_alive_ && !server_->stopped());
  }

  void Write(const HttpResponse& answer, bool keep_alive) {
    response_.emplace();
    response_->version(version_);
    response_->result(ValidStatus(answer.status));
    response_->set(http::field::content_type, answer.content_type);
    response_->body() = answer.body;
    response_->keep_alive(keep_alive);
    response_->prepare_payload();
    // A client that does not take the answer within the read deadline is dropped.
    Lowest().expires_after(server_->limits().read_deadline);
    http::async_write(
        stream_, *response_,
        [self = this->shared_from_this(), keep_alive](const error_code& ec, std::size_t) {
          if (ec) return self->Close();
          if (!keep_alive) return self->FinishSending();
          self->Lowest().expires_after(self->server_->limits().read_deadline);
          self->ReadRequest();
        });
  }

  // A request the server will not hand on: the status alone, then the connection is closed.
  void Refuse(unsigned status) {
    version_ = 11;
    awaiting_answer_ = false;
    response_.emplace();
    response_->version(version_);
    response_->result(status);
    response_->set(http::field::content_type, "text/plain");
    response_->keep_alive(false);
    response_->prepare_payload();
    Lowest().expires_after(server_->limits().read_deadline);
    http::async_write(stream_, *response_,
                      [self = this->shared_from_this()](const error_code& ec, std::size_t) {
                        if (ec) return self->Close();
                        self->FinishSending();
                      });
  }

  // Ends the sending side, then drains what the client still sends before closing (see
  // kLingerBytes). The TLS session is not closed in turn: the answer carries its own length.
  void FinishSending() {
    if (closed_) return;
    error_code ignored;
    Lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
    Lowest().expires_after(std::min(kLingerTime, server_->limits().read_deadline));
    lingered_ = 0;
    Drain();
  }

  void Drain() {
    Lowest().async_read_some(asio::buffer(drain_), [self = this->shared_from_this()](
                                                       const error_code& ec, std::size_t n) {
      self->lingered_ += n;
      if (ec || self->lingered_ >= kLingerBytes) return self->Close();
      self->Drain();
    });
  }

  std::shared_ptr<Server> server_;
  std::uint64_t id_;
  Stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::optional<http::response<http::string_body>> response_;
  asio::steady_timer answer_timer_;
  std::array<char, 4096> drain_{};
  std::size_t lingered_ = 0;
  std::uint64_t request_id_ = 0;
  unsigned version_ = 11;
  bool keep_alive_ = false;
  bool awaiting_answer_ = false;
  bool closed_ = false;
};

bool Server::Start(std::string* error) {
  error_code ec;
  acceptor_.open(endpoint_.protocol(), ec);
  if (!ec) acceptor_.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) acceptor_.bind(endpoint_, ec);
  if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  tcp::endpoint bound;
  if (!ec) bound = acceptor_.local_endpoint(ec);
  if (ec) {
    if (error)
      *error = "cannot listen on " + endpoint_.address().to_string() + " port " +
               std::to_string(endpoint_.port()) + ": " + ec.message();
    error_code ignored;
    acceptor_.close(ignored);
    return false;
  }
  port_ = bound.port();
  Accept();
  return true;
}

void Server::Accept() {
  acceptor_.async_accept(io_, [self = shared_from_this()](const error_code& ec, tcp::socket s) {
    self->OnAccept(ec, std::move(s));
  });
}

void Server::OnAccept(const error_code& ec, tcp::socket socket) {
  if (stopped_ || ec == asio::error::operation_aborted) return;
  if (ec) {
    accept_retry_.expires_after(kAcceptRetry);
    accept_retry_.async_wait([self = shared_from_this()](const error_code& wait_ec) {
      if (!wait_ec && !self->stopped_) self->Accept();
    });
    return;
  }
  Adopt(std::move(socket));
  Accept();
}

void Server::Adopt(tcp::socket socket) {
  error_code ignored;
  if (connections_.size() >= limits_.connections) {
    socket.close(ignored);
    return;
  }
  try {
    const std::uint64_t id = next_id_++;
    std::shared_ptr<ConnectionBase> connection;
    if (tls_) {
      auto tls = std::make_shared<Connection<beast::ssl_stream<beast::tcp_stream>>>(
          shared_from_this(), id, std::move(socket), *tls_);
      connections_[id] = tls;
      tls->Run();
    } else {
      auto plain = std::make_shared<Connection<beast::tcp_stream>>(shared_from_this(), id,
                                                                   std::move(socket));
      connections_[id] = plain;
      plain->Run();
    }
  } catch (...) {
    // Out of memory for one more connection: it is dropped, the others go on.
    socket.close(ignored);
  }
}

void Server::Handle(HttpRequest request, const Respond& respond) noexcept {
  try {
    handler_(std::move(request), respond);
  } catch (...) {
    respond(HttpResponse{500, "text/plain", "The server failed to answer.\n"});
  }
}

void Server::Stop() {
  // With no thread in the io_context (its run has ended), nothing races the closing here.
  if (io_.get_executor().running_in_this_thread() || io_.stopped()) return CloseAll();
  try {
    asio::post(io_, [self = shared_from_this()] { self->CloseAll(); });
  } catch (...) {
    // Nothing to do without memory; the io_context's end closes what is left.
  }
}

void Server::CloseAll() {
  stopped_ = true;
  error_code ignored;
  acceptor_.close(ignored);
  accept_retry_.cancel();
  // Closing a connection may end it, which takes it off the list: close from a copy.
  std::vector<std::shared_ptr<ConnectionBase>> open;
  for (auto& [id, weak] : connections_) {
    if (auto connection = weak.lock()) open.push_back(std::move(connection));
  }
  for (auto& connection : open) connection->Close();
}

}  // namespace

class HttpServer::Impl : public Server {
 public:
  using Server::Server;
};

HttpServer::HttpServer(asio::io_context& io, const tcp::endpoint& endpoint, ServerLimits limits,
                       HttpHandler handler, std::shared_ptr<asio::ssl::context> tls)
    : impl_(std::make_shared<Impl>(io, endpoint, limits, std::move(handler), std::move(tls))) {}

HttpServer::~HttpServer() { impl_->Stop(); }

bool HttpServer::Start(std::string* error) {
  try {
    return impl_->Start(error);
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
}

void HttpServer::Stop() { impl_->Stop(); }

unsigned short HttpServer::port() const { return impl_->port(); }

}  // namespace deckhand::discord
