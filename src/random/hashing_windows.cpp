// The hashes on Windows: the system's own CNG providers in bcrypt.dll, so that the DLL imports
// system DLLs only. Each provider is opened once and kept for the life of the process: closing it
// while the DLL unloads would call into another DLL from the loader's lock.
#include <windows.h>
// bcrypt.h builds on the types of windows.h, so it comes second.
#include <bcrypt.h>

#include "random/hashing.h"

namespace deckhand {
namespace {

BCRYPT_ALG_HANDLE OpenSha256(ULONG flags) {
  BCRYPT_ALG_HANDLE handle = nullptr;
  if (!BCRYPT_SUCCESS(
          BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, flags))) {
    return nullptr;
  }
  return handle;
}

std::optional<Digest> Hash(BCRYPT_ALG_HANDLE provider, Bytes key, Bytes message) {
  if (provider == nullptr || key.size() > 0xFFFFFFFFu || message.size() > 0xFFFFFFFFu) {
    return std::nullopt;
  }
  Digest digest;
  // The API takes non-const buffers but reads them only.
  auto* secret = const_cast<PUCHAR>(key.data());
  auto* input = const_cast<PUCHAR>(message.data());
  if (!BCRYPT_SUCCESS(BCryptHash(
          provider, key.empty() ? nullptr : secret, static_cast<ULONG>(key.size()), input,
          static_cast<ULONG>(message.size()), digest.data(), static_cast<ULONG>(digest.size())))) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace

std::optional<Digest> Sha256(Bytes data) {
  static const BCRYPT_ALG_HANDLE provider = OpenSha256(0);
  return Hash(provider, {}, data);
}

std::optional<Digest> HmacSha256(Bytes key, Bytes message) {
  static const BCRYPT_ALG_HANDLE provider = OpenSha256(BCRYPT_ALG_HANDLE_HMAC_FLAG);
  return Hash(provider, key, message);
}

}  // namespace deckhand
