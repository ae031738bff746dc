#include "host/discord/http_client.h"

#include <openssl/ssl.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace deckhand::discord {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kBodyLimit = 1024 * 1024;
// The API's answers carry many headers (rate limits, tracing); more than 64 KiB is not one.
constexpr std::uint32_t kHeaderLimit = 64 * 1024;

struct Url {
  bool tls = false;
  std::string host;  // without the brackets of an IPv6 address
  std::string port;
  std::string target;
  std::string host_header;  // as the Host header carries it
};

bool HasControlCharacters(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  }
  return false;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

bool IsPort(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value >= 1 && value <= 65535;
}

// "https://host[:port]/target" or "http://..."; the host a name, an IPv4 address or a
// bracketed IPv6 one. User names in the address are refused, not sent.
std::optional<Url> ParseUrl(std::string_view text) {
  if (HasControlCharacters(text) || text.find(' ') != std::string_view::npos) return std::nullopt;
  Url url;
  if (StartsWithNoCase(text, "https://")) {
    url.tls = true;
    text.remove_prefix(8);
  } else if (StartsWithNoCase(text, "http://")) {
    text.remove_prefix(7);
  } else {
    return std::nullopt;
  }
  const std::size_t authority_end = text.find_first_of("/?#");
  const std::string_view authority = text.substr(0, authority_end);
  std::string_view rest =
      authority_end == std::string_view::npos ? std::string_view() : text.substr(authority_end);
  rest = rest.substr(0, rest.find('#'));
  url.target = rest.empty() || rest.front() != '/' ? "/" + std::string(rest) : std::string(rest);
  if (authority.empty() || authority.find('@') != std::string_view::npos) return std::nullopt;

  std::string_view host = authority;
  std::string_view port;
  if (host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view after = host.substr(close + 1);
    if (!after.empty() && (after.front() != ':' || !IsPort(after.substr(1)))) return std::nullopt;
    if (!after.empty()) port = after.substr(1);
    host = host.substr(1, close - 1);
  } else if (const std::size_t colon = host.rfind(':'); colon != std::string_view::npos) {
    port = host.substr(colon + 1);
    host = host.substr(0, colon);
    if (!IsPort(port)) return std::nullopt;
  }
  if (host.empty()) return std::nullopt;
  url.host = std::string(host);
  url.port = port.empty() ? (url.tls ? "443" : "80") : std::string(port);
  url.host_header = std::string(authority);
  return url;
}

ClientResponse Failure(std::string error) {
  ClientResponse response;
  response.error = std::move(error);
  return response;
}

// The system's name lookup cannot be interrupted, so it runs on a thread of its own; when the
// deadline passes first, the thread is left to finish alone and its answer is dropped.
using Endpoints = std::vector<tcp::endpoint>;

Endpoints ToEndpoints(const tcp::resolver::results_type& results) {
  Endpoints endpoints;
  for (const auto& entry : results) endpoints.push_back(entry.endpoint());
  return endpoints;
}

std::optional<Endpoints> Resolve(const Url& url, Clock::time_point until, std::string* error) {
  error_code ec;
  const auto address = asio::ip::make_address(url.host, ec);
  if (!ec) {
    const auto port = static_cast<unsigned short>(std::stoul(url.port));
    return Endpoints{tcp::endpoint(address, port)};
  }
  struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    tcp::resolver::results_type results;
    error_code ec;
  };
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host = url.host, port = url.port] {
    asio::io_context io;
    tcp::resolver resolver(io);
    error_code ec;
    auto results = resolver.resolve(host, port, ec);
    const std::lock_guard lock(lookup->mutex);
    lookup->results = std::move(results);
    lookup->ec = ec;
    lookup->finished = true;
    lookup->done.notify_all();
  }).detach();
  std::unique_lock lock(lookup->mutex);
  if (!lookup->done.wait_until(lock, until, [&] { return lookup->finished; })) {
    *error = "looking up " + url.host + " took too long";
    return std::nullopt;
  }
  if (lookup->ec || lookup->results.empty()) {
    *error = "cannot find " + url.host + ": " + lookup->ec.message();
    return std::nullopt;
  }
  return ToEndpoints(lookup->results);
}

http::request<http::string_body> MakeRequest(const ClientRequest& request, const Url& url) {
  http::request<http::string_body> message;
  message.method_string(request.method);
  message.target(url.target);
  message.version(11);
  message.set(http::field::host, url.host_header);
  message.set(http::field::user_agent, "deckhand-discord");
  for (const auto& [name, value] : request.headers) message.set(name, value);
  message.body() = request.body;
  message.keep_alive(false);
  message.prepare_payload();
  return message;
}

std::string Describe(const error_code& ec, const char* step) {
  if (ec == beast::error::timeout) return std::string("the deadline passed while ") + step;
  return std::string(step) + " failed: " + ec.message();
}

// One exchange on one connection: connect, TLS handshake, write, read, each step's callback
// starting the next; the stream's expiry, set once, bounds them all.
template <class Stream>
class Exchange : public std::enable_shared_from_this<Exchange<Stream>> {
 public:
  static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;

  template <class... StreamArgs>
  explicit Exchange(http::request<http::string_body> request, StreamArgs&&... args)
      : request_(std::move(request)), stream_(std::forward<StreamArgs>(args)...) {}

  void Run(const Endpoints& endpoints, Clock::time_point until) {
    beast::get_lowest_layer(stream_).expires_at(until);
    beast::get_lowest_layer(stream_).async_connect(
        endpoints, [self = this->shared_from_this()](const error_code& ec, const tcp::endpoint&) {
          if (ec) return self->Fail(Describe(ec, "connecting"));
          self->Handshake();
        });
  }

  ClientResponse& result() { return result_; }
  Stream& stream() { return stream_; }

 private:
  void Handshake() {
    if constexpr (kTls) {
      stream_.async_handshake(asio::ssl::stream_base::client,
                              [self = this->shared_from_this()](const error_code& ec) {
                                if (ec) return self->Fail(Describe(ec, "the TLS handshake"));
                                self->Write();
                              });
    } else {
      Write();
    }
  }

  void Write() {
    http::async_write(stream_, request_,
                      [self = this->shared_from_this()](const error_code& ec, std::size_t) {
                        if (ec) return self->Fail(Describe(ec, "sending the request"));
                        self->Read();
                      });
  }

  // The header on its own first: reading it alone, the parser refuses a declared length over its
  // body limit, which a single eager read of header and body lets through.
  void Read() {
    parser_.body_limit(kBodyLimit);
    parser_.header_limit(kHeaderLimit);
    http::async_read_header(stream_, buffer_, parser_,
                            [self = this->shared_from_this()](const error_code& ec, std::size_t) {
                              if (ec) return self->OnRead(ec);
                              self->ReadBody();
                            });
  }

  void ReadBody() {
    http::async_read(
        stream_, buffer_, parser_,
        [self = this->shared_from_this()](const error_code& ec, std::size_t) { self->OnRead(ec); });
  }

  void OnRead(const error_code& ec) {
    if (ec == http::error::body_limit) return Fail("the answer's body is over 1 MiB");
    if (ec) return Fail(Describe(ec, "reading the answer"));
    result_ = ClientResponse{static_cast<int>(parser_.get().result_int()),
                             std::move(parser_.get().body()), ""};
    error_code ignored;
    beast::get_lowest_layer(stream_).socket().shutdown(tcp::socket::shutdown_both, ignored);
  }

  void Fail(std::string error) {
    result_ = Failure(std::move(error));
    beast::get_lowest_layer(stream_).close();
  }

  http::request<http::string_body> request_;
  Stream stream_;
  beast::flat_buffer buffer_;
  http::response_parser<http::string_body> parser_;
  ClientResponse result_ = Failure("no answer");
};

// Runs `exchange` to its end; the stream's expiry ends it by the deadline, and running the
// io_context no longer than that (with a margin) guards against a step the expiry misses.
template <class Stream>
ClientResponse Complete(asio::io_context& io, const std::shared_ptr<Exchange<Stream>>& exchange,
                        const Endpoints& endpoints, Clock::time_point until) {
  exchange->Run(endpoints, until);
  io.run_until(until + std::chrono::milliseconds(500));
  if (!io.stopped()) return Failure("the deadline passed");
  return std::move(exchange->result());
}

ClientResponse Send(const ClientRequest& request, std::chrono::milliseconds deadline) {
  const Clock::time_point until = Clock::now() + deadline;
  const std::optional<Url> url = ParseUrl(request.url);
  if (!url) return Failure("not an http:// or https:// address: " + request.url);
  if (request.method.empty() || HasControlCharacters(request.method) ||
      request.method.find(' ') != std::string::npos) {
    return Failure("not a request method: " + request.method);
  }
  for (const auto& [name, value] : request.headers) {
    if (name.empty() || HasControlCharacters(name) || HasControlCharacters(value)) {
      return Failure("a header cannot carry line breaks or control characters: " + name);
    }
  }

  std::string error;
  const auto endpoints = Resolve(*url, until, &error);
  if (!endpoints) return Failure(error);

  auto message = MakeRequest(request, *url);
  if (!url->tls) {
    asio::io_context io;
    auto exchange =
        std::make_shared<Exchange<beast::tcp_stream>>(std::move(message), io.get_executor());
    return Complete(io, exchange, *endpoints, until);
  }

  asio::ssl::context tls(asio::ssl::context::tls_client);
  tls.set_default_verify_paths();
  tls.set_verify_mode(asio::ssl::verify_peer);
  asio::io_context io;
  auto exchange = std::make_shared<Exchange<beast::ssl_stream<beast::tcp_stream>>>(
      std::move(message), io.get_executor(), tls);
  error_code not_an_address;
  asio::ip::make_address(url->host, not_an_address);
  if (not_an_address) {
    // Server Name Indication carries names only, never an address.
    SSL_set_tlsext_host_name(exchange->stream().native_handle(), url->host.c_str());
  }
  exchange->stream().set_verify_callback(asio::ssl::host_name_verification(url->host));
  return Complete(io, exchange, *endpoints, until);
}

}  // namespace

ClientResponse SendHttp(const ClientRequest& request, std::chrono::milliseconds deadline) {
  try {
    return Send(request, deadline);
  } catch (const std::exception& e) {
    return Failure(std::string("the request failed: ") + e.what());
  } catch (...) {
    return Failure("the request failed");
  }
}

}  // namespace deckhand::discord
