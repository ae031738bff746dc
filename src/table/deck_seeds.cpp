#include "table/deck_seeds.h"

#include <charconv>

#include "deckhand/shuffles.h"
#include "text/text_lists.h"

namespace deckhand::table {
namespace {

constexpr std::string_view kVersion = "v1";
constexpr char kFieldEnd = ':';
constexpr char kItemEnd = '.';
constexpr char kPairEnd = '/';

std::optional<std::uint64_t> ReadNumber(std::string_view text) {
  std::uint64_t number = 0;
  auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || failure != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return number;
}

std::string HexOfText(std::string_view text) {
  return HexOf({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

std::optional<std::string> TextOfHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string text;
  for (std::size_t at = 0; at < hex.size(); at += 2) {
    unsigned value = 0;
    auto [end, failure] = std::from_chars(hex.data() + at, hex.data() + at + 2, value, 16);
    if (failure != std::errc() || end != hex.data() + at + 2) return std::nullopt;
    text.push_back(static_cast<char>(value));
  }
  return text;
}

// The pieces of `text` between `separator`s; none for an empty text.
std::vector<std::string> Items(std::string_view text, char separator) {
  if (text.empty()) return {};
  return SplitText(text, std::string_view(&separator, 1), 0);
}

bool unseeded_shuffles = false;

}  // namespace

ScopedUnseededShuffles::ScopedUnseededShuffles() : previous_(unseeded_shuffles) {
  unseeded_shuffles = true;
}

ScopedUnseededShuffles::~ScopedUnseededShuffles() { unseeded_shuffles = previous_; }

bool ScopedUnseededShuffles::InForce() { return unseeded_shuffles; }

std::optional<DeckSeeds> NewDeckSeeds() {
  std::optional<Seed> seed = NewSeed();
  if (!seed) return std::nullopt;
  DeckSeeds seeds;
  seeds.seed = *seed;
  return seeds;
}

std::string WriteDeckSeeds(const DeckSeeds& seeds) {
  std::string written(kVersion);
  written += kFieldEnd + std::to_string(seeds.next) + kFieldEnd + HexOf(seeds.seed) + kFieldEnd +
             std::to_string(seeds.first_unrevealed) + kFieldEnd;
  for (std::size_t i = 0; i < seeds.used.size(); ++i) {
    if (i > 0) written += kItemEnd;
    written += HexOf(seeds.used[i]);
  }
  written += kFieldEnd;
  for (std::size_t i = 0; i < seeds.waiting.size(); ++i) {
    if (i > 0) written += kItemEnd;
    written += HexOfText(seeds.waiting[i].first) + kPairEnd + HexOfText(seeds.waiting[i].second);
  }
  written += kFieldEnd + HexOfText(seeds.game);
  return written;
}

std::optional<DeckSeeds> ReadDeckSeeds(std::string_view written) {
  std::vector<std::string> fields = SplitText(written, std::string_view(&kFieldEnd, 1), 0);
  if (fields.size() != 7 || fields[0] != kVersion) return std::nullopt;
  DeckSeeds seeds;
  std::optional<std::uint64_t> next = ReadNumber(fields[1]);
  std::optional<Seed> seed = SeedOfHex(fields[2]);
  std::optional<std::uint64_t> first = ReadNumber(fields[3]);
  if (!next || !seed || !first || *first > *next) return std::nullopt;
  seeds.next = *next;
  seeds.seed = *seed;
  seeds.first_unrevealed = *first;
  for (const std::string& hex : Items(fields[4], kItemEnd)) {
    std::optional<Seed> used = SeedOfHex(hex);
    if (!used) return std::nullopt;
    seeds.used.push_back(*used);
  }
  if (seeds.used.size() != *next - *first) return std::nullopt;
  for (const std::string& pair : Items(fields[5], kItemEnd)) {
    std::vector<std::string> parts = Items(pair, kPairEnd);
    if (parts.size() != 2) return std::nullopt;
    std::optional<std::string> player = TextOfHex(parts[0]);
    std::optional<std::string> text = TextOfHex(parts[1]);
    if (!player || !text) return std::nullopt;
    seeds.waiting.emplace_back(std::move(*player), std::move(*text));
  }
  std::optional<std::string> game = TextOfHex(fields[6]);
  if (!game) return std::nullopt;
  seeds.game = std::move(*game);
  return seeds;
}

bool ShuffleWithSeeds(DeckSeeds& seeds, std::string_view place, std::string_view deck, Cards& cards,
                      bool reversible) {
  std::optional<Digest> key = ShuffleKey(seeds.seed, place, deck, seeds.next, seeds.waiting);
  std::optional<Seed> next_seed = NewSeed();
  if (!key || !next_seed) return false;
  Cards shuffled = cards;
  ShuffleStream words(*key);
  if (!PermuteFromTheBottom(shuffled, words)) return false;
  if (reversible && !TurnByWords(shuffled, words)) return false;
  cards = std::move(shuffled);
  seeds.used.push_back(seeds.seed);
  if (seeds.used.size() > kMaxUnrevealedShuffles) {
    seeds.used.erase(seeds.used.begin());
    ++seeds.first_unrevealed;
  }
  seeds.seed = *next_seed;
  ++seeds.next;
  seeds.waiting.clear();
  return true;
}

std::vector<std::pair<std::uint64_t, std::string>> RevealSeeds(DeckSeeds& seeds) {
  std::vector<std::pair<std::uint64_t, std::string>> revealed;
  for (std::size_t i = 0; i < seeds.used.size(); ++i) {
    revealed.emplace_back(seeds.first_unrevealed + i, HexOf(seeds.used[i]));
  }
  seeds.used.clear();
  seeds.first_unrevealed = seeds.next;
  return revealed;
}

void ViewOfSeeds(const DeckSeeds& seeds, SeedsView& view) {
  view.next_shuffle = seeds.next;
  view.next_commitment = CommitmentOf(seeds.seed);
  view.waiting = seeds.waiting;
}

}  // namespace deckhand::table

namespace deckhand::shuffles {

std::string Commitment(std::string_view seed_hex) {
  std::optional<Seed> seed = SeedOfHex(seed_hex);
  return seed ? CommitmentOf(*seed) : std::string();
}

std::optional<table::Cards> Recompute(
    std::string_view seed_hex, std::string_view place, std::string_view deck, std::uint64_t number,
    const std::vector<std::pair<std::string, std::string>>& player_seeds,
    const std::vector<std::string>& input, bool reversible) {
  std::optional<Seed> seed = SeedOfHex(seed_hex);
  std::optional<Digest> key =
      seed ? ShuffleKey(*seed, place, deck, number, player_seeds) : std::nullopt;
  if (!key) return std::nullopt;
  table::Cards cards;
  for (const std::string& name : input) cards.push_back(table::Card{name, false});
  ShuffleStream words(*key);
  if (!PermuteFromTheBottom(cards, words)) return std::nullopt;
  if (reversible && !TurnByWords(cards, words)) return std::nullopt;
  return cards;
}

}  // namespace deckhand::shuffles
