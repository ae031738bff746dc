// deckhand-discord's HTTP server and client on real loopback sockets: the server on its own
// thread, the client (or a raw socket, for what the client never sends) on the test's.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/discord/http_client.h"
#include "host/discord/http_server.h"

namespace deckhand::discord {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using std::chrono::milliseconds;
using std::chrono::seconds;

// Bounds for what must happen eventually; generous, for loaded machines under sanitizers.
constexpr milliseconds kGenerous{10000};

const tcp::endpoint kLoopback(asio::ip::make_address("127.0.0.1"), 0);

// A client socket of the test's own, for requests the client cannot make.
class RawClient {
 public:
  explicit RawClient(unsigned short port) : socket_(io_) {
    socket_.connect(tcp::endpoint(kLoopback.address(), port));
  }

  bool Send(const std::string& bytes) {
    boost::system::error_code ec;
    asio::write(socket_, asio::buffer(bytes), ec);
    return !ec;
  }

  // Reads until `wanted` has arrived or the server closed the connection, within kGenerous.
  std::string ReadUntil(const std::string& wanted) {
    const auto until = std::chrono::steady_clock::now() + kGenerous;
    while (received_.find(wanted) == std::string::npos && !closed_ &&
           std::chrono::steady_clock::now() < until) {
      ReadSome(milliseconds(100));
    }
    return received_;
  }

  // True when the server closes the connection within `bound`.
  bool ClosedWithin(milliseconds bound) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (!closed_ && std::chrono::steady_clock::now() < until) ReadSome(milliseconds(100));
    return closed_;
  }

 private:
  void ReadSome(milliseconds wait) {
    pollfd fd{socket_.native_handle(), POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(wait.count())) <= 0) return;
    char chunk[4096];
    const ssize_t n = ::recv(socket_.native_handle(), chunk, sizeof chunk, 0);
    if (n <= 0) {
      closed_ = true;
      return;
    }
    received_.append(chunk, static_cast<std::size_t>(n));
  }

  asio::io_context io_;
  tcp::socket socket_;
  std::string received_;
  bool closed_ = false;
};

class HttpTest : public ::testing::Test {
 protected:
  void StartServer(ServerLimits limits, HttpHandler handler,
                   std::shared_ptr<asio::ssl::context> tls = nullptr) {
    server_ =
        std::make_unique<HttpServer>(io_, kLoopback, limits, std::move(handler), std::move(tls));
    std::string error;
    ASSERT_TRUE(server_->Start(&error)) << error;
    thread_ = std::thread([this] { io_.run(); });
  }

  // Stop must close everything: the server's thread ends only when nothing is left open.
  void TearDown() override {
    if (server_) server_->Stop();
    if (thread_.joinable()) thread_.join();
    server_.reset();
    for (auto& responder : responders_) responder.join();
  }

  std::string Url(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(server_->port()) + target;
  }

  static HttpHandler Answering(HttpResponse response) {
    return [response](HttpRequest, Respond respond) { respond(response); };
  }

  asio::io_context io_;
  std::unique_ptr<HttpServer> server_;
  std::thread thread_;
  std::vector<std::thread> responders_;
};

TEST_F(HttpTest, PostReachesTheHandlerAndItsAnswerTheClient) {
  HttpRequest seen;
  StartServer({}, [&](HttpRequest request, Respond respond) {
    seen = std::move(request);
    respond(HttpResponse{201, "application/json", R"({"type":1})"});
  });
  ClientRequest request{"POST", Url("/interactions?x=1"), {{"X-Signature-Ed25519", "abc"}}, "{}"};
  const ClientResponse response = SendHttp(request, kGenerous);

  EXPECT_EQ(response.status, 201) << response.error;
  EXPECT_EQ(response.body, R"({"type":1})");
  EXPECT_EQ(response.error, "");
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.target, "/interactions?x=1");
  EXPECT_EQ(seen.headers["x-signature-ed25519"], "abc");
  EXPECT_EQ(seen.body, "{}");
}

TEST_F(HttpTest, KeptAliveConnectionServesTheNextRequest) {
  StartServer({}, [](HttpRequest request, Respond respond) {
    respond(HttpResponse{200, "text/plain", "answer to " + request.body});
  });
  RawClient client(server_->port());
  client.Send("POST /a HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\none");
  EXPECT_NE(client.ReadUntil("answer to one").find("Content-Length: 13"), std::string::npos);
  client.Send("POST /a HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\ntwo");
  EXPECT_NE(client.ReadUntil("answer to two").find("answer to two"), std::string::npos);
}

TEST_F(HttpTest, RequestsOverTheLimitsOrMalformedAreRefusedUnheard) {
  ServerLimits limits;
  limits.body_bytes = 1024;
  limits.header_bytes = 1024;
  std::atomic<int> handled{0};
  StartServer(limits, [&](HttpRequest, Respond respond) {
    ++handled;
    respond(HttpResponse{});
  });
  const struct {
    std::string request;
    std::string status_line;
  } cases[] = {
      {"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 4096\r\n\r\n" + std::string(4096, 'b'),
       "HTTP/1.1 413"},
      {"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n1000\r\n" +
           std::string(4096, 'b') + "\r\n0\r\n\r\n",
       "HTTP/1.1 413"},
      {"GET / HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(4096, 'h') + "\r\n\r\n",
       "HTTP/1.1 431"},
      {"NOT HTTP AT ALL\r\n\r\n", "HTTP/1.1 400"},
  };
  for (const auto& c : cases) {
    RawClient client(server_->port());
    client.Send(c.request);
    EXPECT_EQ(client.ReadUntil("\r\n\r\n").substr(0, c.status_line.size()), c.status_line)
        << c.request.substr(0, 60);
    EXPECT_TRUE(client.ClosedWithin(kGenerous));
  }
  EXPECT_EQ(handled, 0);
}

TEST_F(HttpTest, ClientSilentOrTooSlowIsDroppedAfterTheReadDeadline) {
  ServerLimits limits;
  limits.read_deadline = milliseconds(300);
  StartServer(limits, Answering({}));
  RawClient silent(server_->port());
  EXPECT_TRUE(silent.ClosedWithin(kGenerous));

  // A byte at a time, each well within the deadline: the whole request is still too late.
  RawClient trickling(server_->port());
  const std::string request = "POST / HTTP/1.1\r\nHost: x\r\nX-Slow: " + std::string(200, 's');
  bool dropped = false;
  for (std::size_t i = 0; i < request.size() && !dropped; ++i) {
    dropped = !trickling.Send(request.substr(i, 1)) || trickling.ClosedWithin(milliseconds(50));
  }
  EXPECT_TRUE(dropped || trickling.ClosedWithin(kGenerous));
}

TEST_F(HttpTest, ConnectionsOverTheCapAreClosedAtOnce) {
  ServerLimits limits;
  limits.connections = 2;
  StartServer(limits, Answering(HttpResponse{200, "text/plain", "served"}));
  RawClient first(server_->port());
  RawClient second(server_->port());
  RawClient third(server_->port());
  EXPECT_TRUE(third.ClosedWithin(kGenerous));

  first.Send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_NE(first.ReadUntil("served").find("served"), std::string::npos);
}

TEST_F(HttpTest, HandlerMayAnswerLaterFromAnotherThread) {
  StartServer({}, [this](HttpRequest request, Respond respond) {
    responders_.emplace_back([respond, body = request.body] {
      std::this_thread::sleep_for(milliseconds(100));
      respond(HttpResponse{200, "text/plain", "later: " + body});
    });
  });
  const ClientResponse response = SendHttp({"POST", Url("/"), {}, "hello"}, kGenerous);
  EXPECT_EQ(response.status, 200) << response.error;
  EXPECT_EQ(response.body, "later: hello");
}

TEST_F(HttpTest, HandlerThatNeverAnswersGets503AndItsLateAnswersAreDropped) {
  ServerLimits limits;
  limits.answer_deadline = milliseconds(300);
  std::mutex mutex;
  std::vector<Respond> pending;
  StartServer(limits, [&](HttpRequest, Respond respond) {
    const std::lock_guard lock(mutex);
    pending.push_back(std::move(respond));
  });
  const ClientResponse response = SendHttp({"POST", Url("/"), {}, "{}"}, kGenerous);
  EXPECT_EQ(response.status, 503) << response.error;

  const std::lock_guard lock(mutex);
  ASSERT_EQ(pending.size(), 1U);
  pending[0](HttpResponse{200, "text/plain", "too late"});
  pending[0](HttpResponse{200, "text/plain", "twice"});
}

TEST_F(HttpTest, HandlerThatThrowsGets500) {
  StartServer({}, [](HttpRequest, Respond) { throw std::runtime_error("handler fault"); });
  EXPECT_EQ(SendHttp({"POST", Url("/"), {}, "{}"}, kGenerous).status, 500);
}

TEST(HttpClientTest, ClosedPortGivesNoStatusAndSaysWhy) {
  asio::io_context io;
  tcp::acceptor probe(io, kLoopback);
  const unsigned short port = probe.local_endpoint().port();
  probe.close();
  const ClientResponse response =
      SendHttp({"GET", "http://127.0.0.1:" + std::to_string(port) + "/", {}, ""}, kGenerous);
  EXPECT_EQ(response.status, 0);
  EXPECT_FALSE(response.error.empty());
}

TEST(HttpClientTest, ServerThatNeverAnswersEndsByTheDeadline) {
  // A listening socket that never accepts: the kernel completes the connection, nobody reads.
  asio::io_context io;
  tcp::acceptor mute(io, kLoopback);
  const std::string url = "http://127.0.0.1:" + std::to_string(mute.local_endpoint().port());
  const auto start = std::chrono::steady_clock::now();
  const ClientResponse response = SendHttp({"POST", url + "/", {}, "{}"}, milliseconds(300));
  EXPECT_EQ(response.status, 0);
  EXPECT_NE(response.error.find("deadline"), std::string::npos) << response.error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, kGenerous);
}

TEST_F(HttpTest, ClientRefusesAnAnswerOverOneMebibyte) {
  StartServer({}, Answering(HttpResponse{200, "text/plain", std::string(2 * 1024 * 1024, 'a')}));
  const ClientResponse response = SendHttp({"GET", Url("/"), {}, ""}, kGenerous);
  EXPECT_EQ(response.status, 0);
  EXPECT_TRUE(response.body.empty());
  EXPECT_FALSE(response.error.empty());
}

// Each would reach a server that answers anything, were it sent.
TEST_F(HttpTest, ClientRefusesRequestsThatCannotBeSentSafely) {
  StartServer({}, Answering({}));
  const std::string authority = "127.0.0.1:" + std::to_string(server_->port());
  const ClientRequest requests[] = {
      {"GET", "ftp://" + authority + "/", {}, ""},
      {"GET", "http://user@" + authority + "/", {}, ""},
      {"GET", "http://" + authority + "/\r\nX-Injected: 1", {}, ""},
      {"GET", "http://" + authority + "/", {{"X-Injected", "1\r\nX-Other: 2"}}, ""},
      {"GET\r\nX", "http://" + authority + "/", {}, ""},
  };
  for (const ClientRequest& request : requests) {
    const ClientResponse response = SendHttp(request, kGenerous);
    EXPECT_EQ(response.status, 0) << request.url;
    EXPECT_FALSE(response.error.empty()) << request.url;
  }
}

// A certificate for "localhost" made at test time, trusted through SSL_CERT_FILE, which the
// system's default verify paths honour.
class HttpsTest : public HttpTest {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/deckhand-https-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=localhost -addext subjectAltName=DNS:localhost -keyout " +
        (dir_ / "key.pem").string() + " -out " + (dir_ / "cert.pem").string() + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "no openssl command to make a cert";
    auto tls = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_server);
    tls->use_certificate_chain_file((dir_ / "cert.pem").string());
    tls->use_private_key_file((dir_ / "key.pem").string(), asio::ssl::context::pem);
    StartServer({}, Answering(HttpResponse{200, "text/plain", "secret"}), tls);
  }

  void TearDown() override {
    ::unsetenv("SSL_CERT_FILE");
    HttpTest::TearDown();
    std::filesystem::remove_all(dir_);
  }

  std::string UrlFor(const std::string& host) const {
    return "https://" + host + ":" + std::to_string(server_->port()) + "/";
  }

  std::filesystem::path dir_;
};

TEST_F(HttpsTest, ClientVerifiesTheServersCertificateAndName) {
  ::setenv("SSL_CERT_FILE", (dir_ / "cert.pem").c_str(), 1);
  const ClientResponse trusted = SendHttp({"GET", UrlFor("localhost"), {}, ""}, kGenerous);
  EXPECT_EQ(trusted.status, 200) << trusted.error;
  EXPECT_EQ(trusted.body, "secret");

  // The same certificate, but not for the name asked for.
  const ClientResponse wrong_name = SendHttp({"GET", UrlFor("127.0.0.1"), {}, ""}, kGenerous);
  EXPECT_EQ(wrong_name.status, 0);
  EXPECT_NE(wrong_name.error.find("TLS"), std::string::npos) << wrong_name.error;

  ::unsetenv("SSL_CERT_FILE");
  const ClientResponse untrusted = SendHttp({"GET", UrlFor("localhost"), {}, ""}, kGenerous);
  EXPECT_EQ(untrusted.status, 0);
  EXPECT_NE(untrusted.error.find("TLS"), std::string::npos) << untrusted.error;
}

}  // namespace
}  // namespace deckhand::discord
