#include "host/irc/tls.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cctype>
#include <cstdio>

#include "host/common/log.h"

namespace deckhand::irc {
namespace {

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

// Accepts exactly the server certificate whose SHA-256 is pinned, whoever signed it. A refusal
// logs the fingerprint the server showed, so that an operator can tell a renewed certificate
// from a stranger.
struct FingerprintCheck {
  std::string pinned;  // lower-case hex, no colons
  bool operator()(bool, asio::ssl::verify_context& context) const {
    X509_STORE_CTX* store = context.native_handle();
    if (X509_STORE_CTX_get_error_depth(store) > 0) return true;
    X509* certificate = X509_STORE_CTX_get_current_cert(store);
    std::string shown = certificate != nullptr ? HexSha256(certificate) : "";
    bool match = !shown.empty() && shown == pinned;
    if (!match) {
      host::Log(host::LogLevel::kError,
                "the server's certificate is not the pinned one: its SHA-256 is " +
                    (shown.empty() ? std::string("unknown") : shown));
    }
    return match;
  }
};

}  // namespace

std::string NormalFingerprint(std::string_view text) {
  std::string hex;
  for (char c : text) {
    if (c != ':') hex += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return hex;
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

void PrepareTlsStream(TlsStream& stream, const BotConfig& config) {
  asio::error_code not_address;
  asio::ip::make_address(config.server, not_address);
  if (not_address) SSL_set_tlsext_host_name(stream.native_handle(), config.server.c_str());
  if (!config.tls_fingerprint.empty()) {
    stream.set_verify_callback(FingerprintCheck{NormalFingerprint(config.tls_fingerprint)});
  } else if (config.tls_verify) {
    stream.set_verify_callback(asio::ssl::host_name_verification(config.server));
  }
}

}  // namespace deckhand::irc
