#include "bench_support.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "floor.h"

namespace deckhand::bench {
namespace {

namespace fs = std::filesystem;

fs::path ScratchBase() {
  const char* chosen = std::getenv("DECKHAND_BENCH_DIR");
  fs::path base = chosen != nullptr && *chosen != '\0' ? fs::path(chosen) : fs::current_path();
  fs::create_directories(base);
  return fs::absolute(base);
}

// Each deck is the standard cards rotated and interleaved by the target's number, so that no
// two neighbouring lines of a save file are the same.
std::vector<std::string> DeckOfTarget(std::size_t index) {
  const std::vector<std::string>& cards = StandardCards();
  std::vector<std::string> deck;
  deck.reserve(cards.size());
  std::size_t step = 1 + 2 * (index % 25);  // odd, so every card comes once (52 is even)
  if (step % 13 == 0) step += 2;            // and coprime with 52
  for (std::size_t k = 0; k < cards.size(); ++k) {
    deck.push_back(cards[(index + k * step) % cards.size()]);
  }
  return deck;
}

void AppendEntry(std::string& file, std::string_view target,
                 const std::vector<std::string>& cards) {
  file.append(target).append("=");
  for (std::size_t k = 0; k < cards.size(); ++k) {
    if (k != 0) file += ',';
    file += cards[k];
  }
  file.append("\r\n");
}

}  // namespace

ScratchDirectory::ScratchDirectory() : previous_(fs::current_path().string()) {
  std::string pattern = (ScratchBase() / "deckhand-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a scratch directory under " + pattern);
  }
  path_ = pattern;
  fs::current_path(path_);
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}

std::string ScratchDirectory::PathOf(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

const std::vector<std::string>& StandardCards() {
  static const std::vector<std::string> cards = [] {
    // スペード, ハート, ダイヤ, クラブ and the particle の, in Shift_JIS.
    const char* suits[] = {"\x83\x58\x83\x79\x81\x5B\x83\x68", "\x83\x6E\x81\x5B\x83\x67",
                           "\x83\x5F\x83\x43\x83\x84", "\x83\x4E\x83\x89\x83\x75"};
    const char* ranks[] = {"A", "2", "3", "4", "5", "6", "7", "8", "9", "10", "J", "Q", "K"};
    std::vector<std::string> names;
    for (const char* suit : suits) {
      for (const char* rank : ranks) names.push_back(std::string(suit) + "\x82\xCC" + rank);
    }
    return names;
  }();
  return cards;
}

std::vector<std::string> NumberedCards(std::size_t count) {
  std::vector<std::string> names;
  names.reserve(count);
  for (std::size_t i = 1; i <= count; ++i) {
    names.push_back("\x83\x4A\x81\x5B\x83\x68" + std::to_string(i));  // カード
  }
  return names;
}

std::string TargetName(std::size_t index) { return "#room" + std::to_string(index); }

const std::string& SaveFileOfTargets(std::size_t targets) {
  static std::map<std::size_t, std::string> built;
  auto found = built.find(targets);
  if (found != built.end()) return found->second;
  std::string file = "[DECK]\r\n";
  for (std::size_t i = 0; i < targets; ++i) AppendEntry(file, TargetName(i), DeckOfTarget(i));
  return built.emplace(targets, std::move(file)).first->second;
}

std::string SaveFileOfDeck(std::string_view target, const std::vector<std::string>& cards) {
  std::string file = "[DECK]\r\n";
  AppendEntry(file, target, cards);
  return file;
}

std::string DeckFileOf(const std::vector<std::string>& cards) {
  std::string file = "[DECK]\r\nMax=" + std::to_string(cards.size()) + "\r\n";
  for (std::size_t i = 0; i < cards.size(); ++i) {
    file.append(std::to_string(i + 1)).append("=").append(cards[i]).append("\r\n");
  }
  return file;
}

std::string ModeTableOf(std::string_view mode, std::string_view deck_file) {
  return "[MODE]\r\n" + std::string(mode) + "=" + std::string(deck_file) + "\r\n";
}

void WriteFileDurably(const std::string& path, std::string_view bytes) {
  ReplaceFileFloor(path, bytes);
}

HostCall::HostCall(DeckhandCommand command, std::string line)
    : command_(command), line_(std::move(line)), writable_line_(line_.size() + 1) {}

std::string_view HostCall::Run() {
  std::memcpy(writable_line_.data(), line_.c_str(), line_.size() + 1);
  reply_[0] = '\0';
  command_(writable_line_.data(), reply_);
  return std::string_view(reply_, ::strnlen(reply_, sizeof reply_));
}

}  // namespace deckhand::bench
