#include "table/saved_table.h"

#include "storage/saved_decks.h"
#include "text/shift_jis.h"
#include "text/text_lists.h"

namespace deckhand::table {
namespace {

constexpr char kReversedFlag = 'R';
constexpr char kUprightFlag = 'U';
// A card put on the discard pile unseen.
constexpr char kReversedFaceDownFlag = 'r';
constexpr char kUprightFaceDownFlag = 'u';
constexpr std::string_view kFlags = "RUru";

char FlagOf(const Card& card) {
  if (card.face_down) return card.reversed ? kReversedFaceDownFlag : kUprightFaceDownFlag;
  return card.reversed ? kReversedFlag : kUprightFlag;
}
constexpr char kFlagsEnd = ':';
constexpr std::string_view kAutoRecallKind = "auto_recall";
constexpr std::string_view kDeckKind = "deck";
constexpr std::string_view kDrawKind = "draw";
constexpr std::string_view kDiscardKind = "discard";
constexpr std::string_view kHandKind = "hand";
constexpr std::string_view kSeedsKind = "seeds";

Cards UprightCards(const CardList& names) {
  Cards cards;
  cards.reserve(names.size());
  for (const std::string& name : names) cards.push_back(Card{name, false, false});
  return cards;
}

// The main deck's names as its "DECK" entry holds them (SaveDeck's form, read as LoadDeck reads).
Cards CardsOfDeckLine(const std::string& line) {
  if (line.empty()) return Cards();
  return UprightCards(SplitText(line, ",", 0));
}

// Whether the main draw pile needs its "draw" entry: the "DECK" entry alone reads every card
// upright and cannot hold a single empty name.
bool NeedsDrawRecord(const Cards& draw) {
  if (draw.size() == 1 && draw.front().name.empty()) return true;
  for (const Card& card : draw) {
    if (card.reversed) return true;
  }
  return false;
}

std::string JoinKey(std::initializer_list<std::string_view> parts) {
  std::string key;
  for (std::string_view part : parts) {
    if (!key.empty()) key += ',';
    key.append(part);
  }
  return key;
}

}  // namespace

Hand* DeckState::FindHand(std::string_view player) {
  for (Hand& hand : hands) {
    if (NamesMatch(hand.player, player)) return &hand;
  }
  return nullptr;
}

Hand& DeckState::HandOf(std::string_view player) {
  if (Hand* hand = FindHand(player)) return *hand;
  hands.push_back(Hand{std::string(player), {}});
  return hands.back();
}

CardList NamesOf(const Cards& cards) {
  CardList names;
  names.reserve(cards.size());
  for (const Card& card : cards) names.push_back(card.name);
  return names;
}

std::string WritePile(const Cards& cards) {
  std::string written;
  for (const Card& card : cards) written += FlagOf(card);
  written += kFlagsEnd;
  written += JoinCards(NamesOf(cards));
  return written;
}

std::optional<Cards> ReadPile(std::string_view written) {
  std::size_t end = written.find(kFlagsEnd);
  if (end == std::string_view::npos) return std::nullopt;
  std::string_view flags = written.substr(0, end);
  if (flags.find_first_not_of(kFlags) != std::string_view::npos) return std::nullopt;
  Cards cards;
  if (flags.empty()) return cards;
  CardList names = SplitText(written.substr(end + 1), ",", 0);
  if (names.size() != flags.size()) return std::nullopt;
  cards.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    char flag = flags[i];
    bool face_down = flag == kReversedFaceDownFlag || flag == kUprightFaceDownFlag;
    bool reversed = flag == kReversedFlag || flag == kReversedFaceDownFlag;
    cards.push_back(Card{std::move(names[i]), reversed, face_down});
  }
  return cards;
}

SavedTable::SavedTable(const SaveFileEdit& file, std::string_view place, std::string_view deck,
                       bool table_place)
    : place_(place), deck_name_(deck), main_(deck.empty()) {
  std::optional<std::string> draw_record;
  IniLookup found = file.LookUp(kDeckSection, place_, kTableSection, place_ + ",");
  // A place holding a comma would read other places' entries as its own.
  if (!table_place) found.entries.clear();
  for (IniEntry& entry : found.entries) {
    CardList parts = SplitText(entry.key, ",", 0);
    if (parts.size() == 3 && !parts[1].empty() && NamesMatch(parts[2], kDeckKind)) ++named_decks;
    bool setting = parts.size() == 2 && NamesMatch(parts[1], kAutoRecallKind);
    bool ours = parts.size() >= 3 && NamesMatch(parts[1], deck_name_);
    if (!setting && !ours) continue;
    if (setting) {
      auto_recall = entry.value == "1";
    } else if (parts.size() == 3 && NamesMatch(parts[2], kDeckKind)) {
      CardList fields = SplitText(entry.value, ",", 2);
      this->deck.exists = true;
      this->deck.reversible = fields[0] == "R";
      this->deck.mode = fields[1];
    } else if (parts.size() == 3 && NamesMatch(parts[2], kDrawKind)) {
      draw_record = entry.value;
    } else if (parts.size() == 3 && NamesMatch(parts[2], kDiscardKind)) {
      // A value that is no pile (edited by hand) holds no card the table can name; it is left
      // as it is until the pile is next written.
      std::optional<Cards> pile = ReadPile(entry.value);
      if (!pile) continue;
      this->deck.discard = std::move(*pile);
    } else if (parts.size() == 3 && NamesMatch(parts[2], kSeedsKind)) {
      seeds = ReadDeckSeeds(entry.value);
    } else if (parts.size() == 4 && NamesMatch(parts[2], kHandKind) && !parts[3].empty()) {
      std::optional<Cards> pile = ReadPile(entry.value);
      if (!pile) continue;
      this->deck.hands.push_back(Hand{parts[3], std::move(*pile)});
    } else {
      continue;  // no entry of ours: left as it is
    }
    loaded_.emplace(FoldNameCase(entry.key), std::make_pair(entry.key, std::move(entry.value)));
  }

  if (!main_) {
    if (draw_record) this->deck.draw = ReadPile(*draw_record).value_or(Cards());
    return;
  }
  this->deck.exists = true;
  tracked_ = !loaded_.empty();
  main_line_ = std::move(found.value);
  this->deck.draw = CardsOfDeckLine(main_line_.value_or(std::string()));
  // The record counts only while it still describes the "DECK" entry: a plug-in host's Draw or
  // Shuffle since then has changed the pile behind the table's back.
  if (draw_record) {
    std::optional<Cards> recorded = ReadPile(*draw_record);
    if (recorded && JoinCards(NamesOf(*recorded)) == main_line_.value_or(std::string())) {
      this->deck.draw = std::move(*recorded);
    }
  }
}

SavedTable::Entries SavedTable::Serialized() const {
  Entries entries;
  if (!tracked_) return entries;
  auto put = [&entries](std::string key, std::string value) {
    std::string folded = FoldNameCase(key);
    entries.emplace(std::move(folded), std::make_pair(std::move(key), std::move(value)));
  };
  if (auto_recall) put(JoinKey({place_, kAutoRecallKind}), "1");
  if (deck.exists) {
    put(JoinKey({place_, deck_name_, kDeckKind}), (deck.reversible ? "R," : "U,") + deck.mode);
  }
  if (!main_ || NeedsDrawRecord(deck.draw)) {
    if (deck.exists) put(JoinKey({place_, deck_name_, kDrawKind}), WritePile(deck.draw));
  }
  if (!deck.discard.empty()) {
    put(JoinKey({place_, deck_name_, kDiscardKind}), WritePile(deck.discard));
  }
  for (const Hand& hand : deck.hands) {
    if (!hand.cards.empty()) {
      put(JoinKey({place_, deck_name_, kHandKind, hand.player}), WritePile(hand.cards));
    }
  }
  if (seeds) put(JoinKey({place_, deck_name_, kSeedsKind}), WriteDeckSeeds(*seeds));
  return entries;
}

std::vector<IniValueChange> SavedTable::Changes() const {
  std::vector<IniValueChange> changes;
  if (main_) {
    std::string line = JoinCards(NamesOf(deck.draw));
    // As the five exports' draw does, a place that never had cards gains no entry.
    bool changed = main_line_ ? *main_line_ != line : !line.empty();
    if (changed || always_write_deck_line_) {
      changes.push_back(IniValueChange{std::string(kDeckSection), place_, line});
    }
  }
  Entries now = Serialized();
  for (const auto& [folded, entry] : loaded_) {
    if (now.find(folded) == now.end()) {
      changes.push_back(IniValueChange{std::string(kTableSection), entry.first, std::nullopt});
    }
  }
  for (const auto& [folded, entry] : now) {
    auto before = loaded_.find(folded);
    if (before == loaded_.end() || before->second.second != entry.second) {
      changes.push_back(IniValueChange{std::string(kTableSection), entry.first, entry.second});
    }
  }
  return changes;
}

}  // namespace deckhand::table
