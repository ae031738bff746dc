#include "host/discord/signature.h"

#include <openssl/evp.h>

namespace deckhand::discord {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kSignatureBytes = 64;

}  // namespace

struct SignatureCheck::Key {
  EVP_PKEY* key = nullptr;
  ~Key() { EVP_PKEY_free(key); }
};

std::optional<std::string> FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t at = 0; at < hex.size(); at += 2) {
    int high = HexDigit(hex[at]);
    int low = HexDigit(hex[at + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
  }
  return bytes;
}

std::optional<SignatureCheck> SignatureCheck::FromHex(std::string_view public_key_hex) {
  std::optional<std::string> raw = discord::FromHex(public_key_hex);
  if (!raw || raw->size() != kKeyBytes) return std::nullopt;
  auto key = std::make_shared<Key>();
  key->key = EVP_PKEY_new_raw_public_key(
      EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(raw->data()), raw->size());
  if (key->key == nullptr) return std::nullopt;
  return SignatureCheck(std::move(key));
}

bool SignatureCheck::Verify(std::string_view timestamp, std::string_view body,
                            std::string_view signature_hex) const {
  std::optional<std::string> signature = discord::FromHex(signature_hex);
  if (!signature || signature->size() != kSignatureBytes) return false;
  // Ed25519 signs the message whole, in one pass: no streaming digest.
  std::string message;
  message.reserve(timestamp.size() + body.size());
  message.append(timestamp).append(body);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr) return false;
  bool valid =
      EVP_DigestVerifyInit(context, nullptr, nullptr, nullptr, key_->key) == 1 &&
      EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signature->data()),
                       signature->size(), reinterpret_cast<const unsigned char*>(message.data()),
                       message.size()) == 1;
  EVP_MD_CTX_free(context);
  return valid;
}

}  // namespace deckhand::discord
