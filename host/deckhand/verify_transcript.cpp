#include "host/deckhand/verify_transcript.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "deckhand/shuffles.h"

namespace deckhand::host {
namespace {

using Json = nlohmann::json;
using Names = std::vector<std::string>;
using PlayerSeeds = std::vector<std::pair<std::string, std::string>>;

constexpr std::string_view kConstruction = "deckhand-shuffle-v1";
// No transcript line of a real game comes near this; a longer one is no transcript.
constexpr std::size_t kLongestLine = 64 << 20;

// Why a line does not check.
struct Failed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void Need(bool holds, const std::string& why) {
  if (!holds) throw Failed(why);
}

// A transcript string as the bytes it stands for: each character (U+0000 to U+00FF) one byte.
std::string Bytes(const Json& value) {
  const std::string& utf8 = value.get_ref<const std::string&>();
  std::string bytes;
  for (std::size_t at = 0; at < utf8.size(); ++at) {
    auto lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0x80) {
      bytes += static_cast<char>(lead);
      continue;
    }
    Need((lead == 0xC2 || lead == 0xC3) && at + 1 < utf8.size(),
         "a string holds a character beyond U+00FF");
    bytes +=
        static_cast<char>(((lead & 0x03) << 6) | (static_cast<unsigned char>(utf8[++at]) & 0x3F));
  }
  return bytes;
}

// Bytes as the transcript writes them, for messages: what the Python verifier prints too.
std::string Shown(const std::string& bytes) {
  std::string shown;
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      shown += c;
    } else {
      shown += static_cast<char>(0xC0 | (byte >> 6));
      shown += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return shown;
}

Names NamesOf(const Json& list) {
  Names names;
  for (const Json& name : list) names.push_back(Bytes(name));
  return names;
}

Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

std::string Number(std::uint64_t k) { return std::to_string(k); }

struct Shuffle {
  PlayerSeeds player_seeds;
  Names input;
  Names output;
  std::string orientation;
  bool reversible = false;
};

// The game as the transcript tells it, line by line.
class Game {
 public:
  void Step(const Json& line, std::size_t number) {
    std::string type = line.at("type").get<std::string>();
    Need(number > 1 || type == "game", "a transcript begins with its game");
    if (type == "game") return Begin(line);
    if (type == "commit") return Commit(line);
    if (type == "seed") return Seed(line);
    if (type == "shuffle") return Shuffled(line);
    if (type == "draw") return Draw(line);
    if (type == "deal") return Deal(line);
    if (type == "play") return Play(line);
    if (type == "reveal") return Reveal(line);
    throw Failed("no line of a transcript is of type " + type);
  }

  // The first shuffle never revealed, if any.
  std::optional<std::uint64_t> Unrevealed() const {
    for (const auto& [k, shuffle] : shuffles_) {
      if (revealed_.count(k) == 0) return k;
    }
    return std::nullopt;
  }

 private:
  void Begin(const Json& line) {
    Need(!begun_ && line.at("construction").get<std::string>() == kConstruction,
         "not a game's first line");
    begun_ = true;
    place_ = Bytes(line.at("place"));
    deck_ = Bytes(line.at("deck"));
  }

  void Commit(const Json& line) {
    auto k = line.at("shuffle").get<std::uint64_t>();
    std::string commitment = line.at("commitment").get<std::string>();
    Need(shuffles_.count(k) == 0, "the commitment to shuffle " + Number(k) + " comes after it");
    Need(commits_.emplace(k, commitment).first->second == commitment,
         "shuffle " + Number(k) + " committed twice");
    seeds_[k];
  }

  void Seed(const Json& line) {
    auto k = line.at("shuffle").get<std::uint64_t>();
    Need(commits_.count(k) != 0,
         "a seed for shuffle " + Number(k) + " added before its commitment");
    Need(shuffles_.count(k) == 0, "a seed for shuffle " + Number(k) + " added after the shuffle");
    seeds_[k].emplace_back(Bytes(line.at("player")), Bytes(line.at("text")));
  }

  void Shuffled(const Json& line) {
    auto k = line.at("shuffle").get<std::uint64_t>();
    std::string of = "shuffle " + Number(k);
    Shuffle made;
    made.input = NamesOf(line.at("input"));
    made.output = NamesOf(line.at("output"));
    made.orientation = line.at("orientation").get<std::string>();
    made.reversible = line.at("reversible").get<bool>();
    for (const Json& seed : line.at("player_seeds")) {
      made.player_seeds.emplace_back(Bytes(seed.at(0)), Bytes(seed.at(1)));
    }
    Need(commits_.count(k) != 0, of + " has no commitment published before it");
    Need(shuffles_.count(k) == 0, of + " made twice");
    Need(line.at("commitment").get<std::string>() == commits_[k],
         of + " is not under its commitment");
    Need(made.player_seeds == seeds_[k], of + " does not use the seeds added");
    std::string kind = line.at("kind").get<std::string>();
    if (kind == "deal") {
      discard_.clear();
      hands_.emplace();
    } else if (draw_) {
      Need(std::equal(draw_->begin(), draw_->end(), made.input.begin(),
                      made.input.begin() + std::min(made.input.size(), draw_->size())) &&
               made.input.size() >= draw_->size(),
           of + " does not start from the pile");
      Names back = *draw_;
      if (kind != "shuffle") back.insert(back.end(), discard_.begin(), discard_.end());
      if (kind == "recall_all" && hands_) {
        for (const auto& [player, hand] : *hands_)
          back.insert(back.end(), hand.begin(), hand.end());
      }
      Need(Sorted(made.input) == Sorted(back), of + " does not shuffle the cards it should");
    }
    if (kind == "recall" || kind == "recall_all") discard_.clear();
    if (kind == "recall_all") hands_.emplace();
    Need(Sorted(made.output) == Sorted(made.input), of + " loses or adds cards");
    Need(made.orientation.size() == made.input.size(), of + " turns the wrong number of cards");
    draw_ = made.output;
    shuffles_.emplace(k, std::move(made));
  }

  void Draw(const Json& line) {
    Names taken = NamesOf(line.at("cards"));
    std::vector<std::size_t> positions = line.at("positions").get<std::vector<std::size_t>>();
    if (draw_) {
      std::set<std::size_t> distinct(positions.begin(), positions.end());
      Need(distinct.size() == positions.size() && positions.size() == taken.size(),
           "positions and cards differ");
      for (std::size_t i = 0; i < taken.size(); ++i) {
        Need(positions[i] < draw_->size() && (*draw_)[positions[i]] == taken[i],
             Shown(taken[i]) + " was not at " + Number(positions[i] + 1));
      }
      Names left;
      for (std::size_t at = 0; at < draw_->size(); ++at) {
        if (distinct.count(at) == 0) left.push_back((*draw_)[at]);
      }
      draw_ = std::move(left);
    }
    Give(taken, Bytes(line.at("to")));
  }

  void Deal(const Json& line) {
    Names cards = NamesOf(line.at("cards"));
    Names players = NamesOf(line.at("players"));
    Need(!players.empty(), "a deal to no one");
    if (draw_) {
      Need(cards.size() <= draw_->size() && std::equal(cards.begin(), cards.end(), draw_->begin()),
           "the cards dealt are not the top of the pile");
      draw_->erase(draw_->begin(), draw_->begin() + static_cast<std::ptrdiff_t>(cards.size()));
    }
    for (std::size_t at = 0; at < cards.size(); ++at)
      Give({cards[at]}, players[at % players.size()]);
  }

  void Play(const Json& line) {
    std::string player = Bytes(line.at("player"));
    Names cards = NamesOf(line.at("cards"));
    if (hands_) {
      Names& hand = (*hands_)[player];
      for (const std::string& card : cards) {
        auto held = std::find(hand.begin(), hand.end(), card);
        Need(held != hand.end(), Shown(player) + " did not hold " + Shown(card));
        hand.erase(held);
      }
    }
    Give(cards, Bytes(line.at("to")));
  }

  void Give(const Names& cards, const std::string& player) {
    if (player.empty()) {
      discard_.insert(discard_.end(), cards.begin(), cards.end());
    } else if (hands_) {
      Names& hand = (*hands_)[player];
      hand.insert(hand.end(), cards.begin(), cards.end());
    }
  }

  void Reveal(const Json& line) {
    for (const Json& pair : line.at("seeds")) {
      auto k = pair.at(0).get<std::uint64_t>();
      std::string seed = pair.at(1).get<std::string>();
      std::string of = "shuffle " + Number(k);
      auto made = shuffles_.find(k);
      Need(made != shuffles_.end(), "a seed revealed for " + of + ", which is not here");
      std::string commitment = shuffles::Commitment(seed);
      Need(!commitment.empty() && commitment == commits_[k],
           "the seed of " + of + " does not match its commitment");
      const Shuffle& shuffle = made->second;
      std::optional<table::Cards> again = shuffles::Recompute(
          seed, place_, deck_, k, shuffle.player_seeds, shuffle.input, shuffle.reversible);
      Need(again.has_value(), "cannot recompute " + of);
      Names names;
      std::string orientation;
      for (const table::Card& card : *again) {
        names.push_back(card.name);
        orientation += card.reversed ? 'R' : 'U';
      }
      Need(names == shuffle.output && orientation == shuffle.orientation,
           of + " is not its seed's");
      revealed_.insert(k);
    }
  }

  bool begun_ = false;
  std::string place_;
  std::string deck_;
  std::map<std::uint64_t, std::string> commits_;
  std::map<std::uint64_t, PlayerSeeds> seeds_;
  std::map<std::uint64_t, Shuffle> shuffles_;
  std::set<std::uint64_t> revealed_;
  std::optional<Names> draw_;  // unknown before the game's first deal or shuffle
  Names discard_;
  std::optional<std::map<std::string, Names>> hands_;  // unknown before a deal
};

}  // namespace

std::string VerifyTranscript(std::istream& transcript) {
  Game game;
  std::string text;
  std::size_t number = 0;
  while (std::getline(transcript, text)) {
    ++number;
    std::string at = "line " + Number(number) + ": ";
    if (text.size() > kLongestLine) return at + "too long for a transcript line";
    if (!text.empty() && text.back() == '\r') text.pop_back();
    try {
      game.Step(Json::parse(text), number);
    } catch (const Failed& failed) {
      return at + failed.what();
    } catch (const Json::exception& error) {
      return at + "not a transcript line (" + error.what() + ")";
    }
  }
  if (number == 0) return "line 1: a transcript begins with its game";
  if (std::optional<std::uint64_t> k = game.Unrevealed()) {
    return "line " + Number(number) + ": shuffle " + Number(*k) + " is never revealed";
  }
  return "";
}

}  // namespace deckhand::host
