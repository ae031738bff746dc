// Discord signs every request it sends to the interactions endpoint with the application's
// Ed25519 key: the signature covers the X-Signature-Timestamp header's bytes followed by the raw
// body. Nothing else of a request is read before its signature holds.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace deckhand::discord {

class SignatureCheck {
 public:
  // The application's public key, 64 hex digits; nullopt when it is no Ed25519 key.
  static std::optional<SignatureCheck> FromHex(std::string_view public_key_hex);

  // Whether `signature_hex` (128 hex digits) signs `timestamp` followed by `body`.
  bool Verify(std::string_view timestamp, std::string_view body,
              std::string_view signature_hex) const;

 private:
  struct Key;
  explicit SignatureCheck(std::shared_ptr<const Key> key) : key_(std::move(key)) {}
  std::shared_ptr<const Key> key_;
};

// Bytes from hex digits (either case); nullopt for an odd count or another character.
std::optional<std::string> FromHex(std::string_view hex);

}  // namespace deckhand::discord
