// SHA-256 and HMAC-SHA256, for the shuffles players can check. Per platform: the system's own
// hashing where it has one, so that the plug-in still needs nothing beyond the system.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace deckhand {

using Digest = std::array<std::uint8_t, 32>;
using Bytes = std::span<const std::uint8_t>;

// SHA-256 of `data`; nullopt when the platform's hashing failed.
std::optional<Digest> Sha256(Bytes data);

// HMAC-SHA256 of `message` under `key`; nullopt when the platform's hashing failed.
std::optional<Digest> HmacSha256(Bytes key, Bytes message);

}  // namespace deckhand
