// The hashes on Linux: OpenSSL's libcrypto, which every distribution ships.
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "random/hashing.h"

namespace deckhand {

std::optional<Digest> Sha256(Bytes data) {
  Digest digest;
  unsigned int size = 0;
  if (EVP_Digest(data.data(), data.size(), digest.data(), &size, EVP_sha256(), nullptr) != 1 ||
      size != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

std::optional<Digest> HmacSha256(Bytes key, Bytes message) {
  Digest digest;
  unsigned int size = 0;
  // HMAC takes the key's length as an int: a key beyond that is no key of ours.
  if (key.size() > 0x7FFFFFFF) return std::nullopt;
  if (HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), message.data(), message.size(),
           digest.data(), &size) == nullptr ||
      size != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace deckhand
