#include "random/fair_shuffle.h"

#include "random/random.h"

namespace deckhand {
namespace {

Bytes BytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void AppendField(std::string& message, std::string_view field) {
  message.append(field);
  message.push_back('\0');
}

int HexDigitValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<Seed> NewSeed() {
  Seed seed;
  if (!ActiveRandomFill()(seed.data(), seed.size())) return std::nullopt;
  return seed;
}

std::string HexOf(Bytes bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (std::uint8_t byte : bytes) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

std::optional<Seed> SeedOfHex(std::string_view hex) {
  Seed seed;
  if (hex.size() != seed.size() * 2) return std::nullopt;
  for (std::size_t i = 0; i < seed.size(); ++i) {
    int high = HexDigitValue(hex[2 * i]);
    int low = HexDigitValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    seed[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return seed;
}

std::string CommitmentOf(const Seed& seed) {
  std::optional<Digest> digest = Sha256(seed);
  return digest ? HexOf(*digest) : std::string();
}

std::optional<Digest> ShuffleKey(const Seed& seed, std::string_view place, std::string_view deck,
                                 std::uint64_t number, const PlayerSeeds& players) {
  std::string message;
  AppendField(message, kFairShuffleName);
  AppendField(message, place);
  AppendField(message, deck);
  AppendField(message, std::to_string(number));
  for (const auto& [player, text] : players) {
    AppendField(message, player);
    AppendField(message, text);
  }
  return HmacSha256(seed, BytesOf(message));
}

std::optional<std::uint32_t> ShuffleStream::Next() {
  if (failed_) return std::nullopt;
  if (used_ == block_.size()) {
    std::uint8_t counter[8];
    for (int i = 0; i < 8; ++i) counter[i] = static_cast<std::uint8_t>(next_block_ >> (56 - 8 * i));
    std::optional<Digest> block = HmacSha256(key_, counter);
    if (!block) {
      failed_ = true;
      return std::nullopt;
    }
    block_ = *block;
    ++next_block_;
    used_ = 0;
  }
  std::uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word = (word << 8) | block_[used_++];
  return word;
}

}  // namespace deckhand
