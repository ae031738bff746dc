#include "host/common/bot_state.h"

#include <algorithm>
#include <cstdlib>

#include "host/common/log.h"
#include "host/common/state_file.h"

namespace deckhand::host {
namespace {

constexpr std::string_view kHeader = "# deckhand-irc state: deck owners, private decks, players";
// Players kept; past it the one unseen longest is forgotten (their hands stay in the save file
// under a key no one is given again).
constexpr std::size_t kMaxPlayers = 20000;
constexpr std::string_view kKeyMark = "~";

}  // namespace

BotState::BotState(std::string path, std::size_t private_decks, double private_deck_days)
    : path_(std::move(path)),
      capacity_(std::max<std::size_t>(private_decks, 1)),
      keep_seconds_(static_cast<std::int64_t>(private_deck_days * 86400)) {}

bool BotState::Load(std::string* error) {
  if (path_.empty()) return true;
  std::optional<std::vector<StateRecord>> records = ReadStateFile(path_, error);
  if (!records) return false;
  for (const StateRecord& fields : *records) {
    std::vector<std::string> values(fields.begin() + 1, fields.end());
    if (fields[0] == "owner" && (values.size() == 3 || values.size() == 5)) {
      // A file of an older bot names the main deck's owner alone.
      std::string deck = values.size() == 5 ? values[3] : "";
      std::int64_t left_at = values.size() == 5 ? std::strtoll(values[4].c_str(), nullptr, 10) : 0;
      owners_[{values[0], deck}] = {values[1], values[2], left_at};
    } else if (fields[0] == "deck" && values.size() == 3) {
      std::size_t slot = std::strtoull(values[0].c_str(), nullptr, 10);
      if (slot == 0 || slot > capacity_ || values[1].empty() || by_player_.contains(values[1])) {
        continue;
      }
      if (slots_.size() < slot) slots_.resize(slot);
      if (!slots_[slot - 1].player.empty()) continue;
      slots_[slot - 1] = {values[1], std::strtoll(values[2].c_str(), nullptr, 10)};
      by_player_[values[1]] = slot - 1;
    } else if (fields[0] == "dropped" && values.size() == 2 && dropped_.size() < capacity_) {
      dropped_.emplace_back(values[0],
                            values[1] == "full" ? DropReason::kFull : DropReason::kUnused);
    } else if (fields[0] == "player" && values.size() == 3) {
      LoadPlayer(values[0], values[1], values[2]);
    } else if (fields[0] == "next_key" && values.size() == 1) {
      next_key_ = std::max<std::uint64_t>(next_key_, std::strtoull(values[0].c_str(), nullptr, 10));
    }
  }
  return true;
}

void BotState::Save() {
  if (path_.empty() || !dirty_) return;
  std::string text = std::string(kHeader) + "\n";
  for (const auto& [where, owner] : owners_) {
    text += "owner " + EscapeField(where.first) + " " + EscapeField(owner.key) + " " +
            EscapeField(owner.nick) + " " + EscapeField(where.second) + " " +
            std::to_string(owner.left_at) + "\n";
  }
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].player.empty()) continue;
    text += "deck " + std::to_string(i + 1) + " " + EscapeField(slots_[i].player) + " " +
            std::to_string(slots_[i].last_used) + "\n";
  }
  for (const auto& [player, reason] : dropped_) {
    text += "dropped " + EscapeField(player) + " " +
            (reason == DropReason::kFull ? "full" : "unused") + "\n";
  }
  text += "next_key " + std::to_string(next_key_) + "\n";
  // Longest unseen first, so that a file read back forgets the same players first.
  std::vector<const std::pair<const std::string, TablePlayer>*> players;
  for (const auto& entry : players_) players.push_back(&entry);
  std::sort(players.begin(), players.end(),
            [](const auto* a, const auto* b) { return a->second.seen < b->second.seen; });
  for (const auto* entry : players) {
    text += "player " + EscapeField(entry->second.key) + " " + EscapeField(entry->first) + " " +
            EscapeField(entry->second.name) + "\n";
  }
  if (!WriteStateFile(path_, text)) {
    Log(LogLevel::kError, "cannot write " + path_ + ": deck owners and private decks not saved");
    return;
  }
  dirty_ = false;
}

const DeckOwner* BotState::Owner(std::string_view place, std::string_view deck) const {
  auto found = owners_.find({std::string(place), std::string(deck)});
  return found == owners_.end() ? nullptr : &found->second;
}

void BotState::SetOwner(std::string_view place, std::string_view deck, DeckOwner owner) {
  DeckOwner& held = owners_[{std::string(place), std::string(deck)}];
  if (held.key == owner.key && held.nick == owner.nick && held.left_at == owner.left_at) return;
  held = std::move(owner);
  dirty_ = true;
}

void BotState::ClearOwner(std::string_view place, std::string_view deck) {
  if (owners_.erase({std::string(place), std::string(deck)}) > 0) dirty_ = true;
}

void BotState::OwnerLeft(std::string_view place, std::string_view player, std::int64_t now) {
  for (auto& [where, owner] : owners_) {
    if (where.first != place || owner.key != player || owner.left_at != 0) continue;
    owner.left_at = std::max<std::int64_t>(now, 1);
    dirty_ = true;
  }
}

void BotState::LapseAbsentOwners(std::string_view place, const std::vector<std::string>& present,
                                 std::int64_t now, std::int64_t grace_seconds) {
  for (auto it = owners_.begin(); it != owners_.end();) {
    DeckOwner& owner = it->second;
    bool here = std::find(present.begin(), present.end(), owner.key) != present.end();
    if (it->first.first != place) {
      ++it;
    } else if (here != (owner.left_at == 0)) {
      // Back, or gone without the bot seeing them go (it was away itself): the grace starts now.
      owner.left_at = here ? 0 : std::max<std::int64_t>(now, 1);
      dirty_ = true;
      ++it;
    } else if (!here && now - owner.left_at >= grace_seconds) {
      it = owners_.erase(it);
      dirty_ = true;
    } else {
      ++it;
    }
  }
}

void BotState::RenameOwner(std::string_view old_key, const DeckOwner& renamed) {
  for (auto& [channel, owner] : owners_) {
    if (owner.key != old_key) continue;
    owner = renamed;
    dirty_ = true;
  }
}

void BotState::Unassign(const std::string& player) {
  auto held = by_player_.find(player);
  if (held == by_player_.end()) return;
  slots_[held->second] = {};
  by_player_.erase(held);
  dirty_ = true;
}

void BotState::Release(std::size_t slot, DropReason reason) {
  by_player_.erase(slots_[slot].player);
  if (dropped_.size() >= capacity_) dropped_.pop_front();
  dropped_.emplace_back(std::move(slots_[slot].player), reason);
  slots_[slot] = {};
  dirty_ = true;
}

void BotState::Expire(std::int64_t now) {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (!slots_[i].player.empty() && now - slots_[i].last_used > keep_seconds_) {
      Release(i, DropReason::kUnused);
    }
  }
}

PrivateTarget BotState::ForPlayer(const std::string& player, bool deal, std::int64_t now) {
  Expire(now);
  PrivateTarget result{"", std::nullopt};
  auto told = std::find_if(dropped_.begin(), dropped_.end(),
                           [&](const auto& entry) { return entry.first == player; });
  if (told != dropped_.end()) {
    result.dropped = told->second;
    dropped_.erase(told);
    dirty_ = true;
  }
  auto held = by_player_.find(player);
  std::size_t slot = 0;
  if (held != by_player_.end()) {
    slot = held->second;
  } else if (!deal) {
    return result;
  } else {
    auto free =
        std::find_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.player.empty(); });
    if (free != slots_.end()) {
      slot = static_cast<std::size_t>(free - slots_.begin());
    } else if (slots_.size() < capacity_) {
      slot = slots_.size();
      slots_.emplace_back();
    } else {
      auto oldest =
          std::min_element(slots_.begin(), slots_.end(),
                           [](const Slot& a, const Slot& b) { return a.last_used < b.last_used; });
      slot = static_cast<std::size_t>(oldest - slots_.begin());
      Release(slot, DropReason::kFull);
    }
    slots_[slot].player = player;
    by_player_[player] = slot;
    result.fresh = true;
  }
  // Days are enough for expiry: a touch within the same hour is not worth a write.
  if (now - slots_[slot].last_used >= 3600 || held == by_player_.end()) dirty_ = true;
  slots_[slot].last_used = now;
  result.target = "~deck" + std::to_string(slot + 1);
  return result;
}

const std::string& BotState::TableKey(const std::string& player, std::string_view name) {
  auto known = players_.find(player);
  if (known == players_.end()) {
    if (players_.size() >= kMaxPlayers) ForgetLongestUnseen();
    std::string key = std::string(kKeyMark) + std::to_string(++next_key_);
    by_key_[key] = player;
    known = players_.emplace(player, TablePlayer{std::move(key), "", 0}).first;
    dirty_ = true;
  }
  TablePlayer& held = known->second;
  held.seen = ++seen_;
  if (!name.empty() && held.name != name) {
    held.name = name;
    dirty_ = true;
  }
  return held.key;
}

const std::string* BotState::PlayerOfKey(std::string_view key) const {
  auto found = by_key_.find(std::string(key));
  return found == by_key_.end() ? nullptr : &found->second;
}

std::string BotState::NameOf(const std::string& player) const {
  auto found = players_.find(player);
  return found == players_.end() ? std::string() : found->second.name;
}

void BotState::LoadPlayer(const std::string& key, const std::string& player,
                          const std::string& name) {
  if (key.size() <= kKeyMark.size() || !key.starts_with(kKeyMark) || player.empty() ||
      players_.contains(player) || by_key_.contains(key) || players_.size() >= kMaxPlayers) {
    return;
  }
  // A key is never given twice, even when the file's counter fell behind.
  next_key_ =
      std::max<std::uint64_t>(next_key_, std::strtoull(key.c_str() + kKeyMark.size(), nullptr, 10));
  by_key_[key] = player;
  players_.emplace(player, TablePlayer{key, name, ++seen_});
}

void BotState::ForgetLongestUnseen() {
  auto oldest =
      std::min_element(players_.begin(), players_.end(),
                       [](const auto& a, const auto& b) { return a.second.seen < b.second.seen; });
  by_key_.erase(oldest->second.key);
  players_.erase(oldest);
}

}  // namespace deckhand::host
