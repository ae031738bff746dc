// The bot's own calls to Discord's HTTP API: one request, one answer, within a deadline.
#pragma once

#include <chrono>
#include <map>
#include <string>

namespace deckhand::discord {

struct ClientRequest {
  std::string method;  // "PATCH", "POST", "PUT", "DELETE"
  std::string url;     // "https://discord.com/api/v10/...", or http:// (a local test server)
  // Beside Host, User-Agent and Content-Length (a User-Agent given here replaces the default).
  std::map<std::string, std::string> headers;
  std::string body;
};

struct ClientResponse {
  int status = 0;     // 0: no answer; `error` says why
  std::string body;   // at most 1 MiB: a longer one is an error (status 0)
  std::string error;  // what failed: the address, the connection, TLS, the deadline
};

// Sends `request` and waits for the answer, at most `deadline` in all (name lookup, connection,
// TLS handshake, writing and reading). HTTPS verifies the server's certificate against the
// system's trusted ones and its name. Never throws.
ClientResponse SendHttp(const ClientRequest& request, std::chrono::milliseconds deadline);

}  // namespace deckhand::discord
