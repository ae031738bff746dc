// TLS for the bot's connection: the context built from the settings, and the checks of the
// server's certificate (the system's authorities and the host name, or a pinned fingerprint).
#pragma once

#include <asio.hpp>
#include <asio/ssl.hpp>
#include <string>
#include <string_view>

#include "host/irc/config.h"

namespace deckhand::irc {

using TlsStream = asio::ssl::stream<asio::ip::tcp::socket>;

// The TLS settings as OpenSSL takes them; throws asio::system_error for a CA file it cannot read.
asio::ssl::context MakeTlsContext(const BotConfig& config);

// Before the handshake: the server's name for a shared host to pick its certificate (an address
// has none), and the check of the certificate the settings ask for.
void PrepareTlsStream(TlsStream& stream, const BotConfig& config);

// "ab:cd:..." or "ABCD..." as lower-case hex without colons, as fingerprints are compared.
std::string NormalFingerprint(std::string_view text);

}  // namespace deckhand::irc
