// An Ed25519 key pair made for one run, as Discord's developer portal keeps an application's:
// the tests and the fuzz target sign requests with it as Discord signs them.
#pragma once

#include <openssl/evp.h>

#include <cstddef>
#include <string>

namespace deckhand::testing {

class SigningKey {
 public:
  SigningKey() : key_(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")) {}
  ~SigningKey() { EVP_PKEY_free(key_); }
  SigningKey(const SigningKey&) = delete;
  SigningKey& operator=(const SigningKey&) = delete;

  // The public key, 64 hex digits, as the portal shows it.
  std::string PublicHex() const {
    unsigned char raw[32];
    std::size_t size = sizeof raw;
    EVP_PKEY_get_raw_public_key(key_, raw, &size);
    return Hex(raw, size);
  }
  // The signature of `message`, 128 hex digits.
  std::string Sign(const std::string& message) const {
    unsigned char signature[64];
    std::size_t size = sizeof signature;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestSignInit(context, nullptr, nullptr, nullptr, key_);
    EVP_DigestSign(context, signature, &size,
                   reinterpret_cast<const unsigned char*>(message.data()), message.size());
    EVP_MD_CTX_free(context);
    return Hex(signature, size);
  }

 private:
  static std::string Hex(const unsigned char* bytes, std::size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t at = 0; at < size; ++at) {
      hex += kDigits[bytes[at] >> 4];
      hex += kDigits[bytes[at] & 15];
    }
    return hex;
  }

  EVP_PKEY* key_;
};

}  // namespace deckhand::testing
