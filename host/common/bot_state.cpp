#include "host/common/bot_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/common/log.h"

namespace deckhand::host {
namespace {

// A state file past this is not ours to read (a few hundred bytes per deck).
constexpr std::uintmax_t kMaxFileBytes = 16 * 1024 * 1024;
constexpr std::string_view kHeader = "# deckhand-irc state: deck owners and private decks";

// Fields are written with every byte outside printable ASCII, and '%', as %XX: any nick,
// channel or account fits on one line.
std::string Escape(std::string_view field) {
  std::string out;
  for (unsigned char c : field) {
    if (c > 0x20 && c < 0x7F && c != '%') {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out.empty() ? "%" : out;  // "%" alone: the empty field
}

std::optional<std::string> Unescape(std::string_view field) {
  if (field == "%") return std::string();
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return std::nullopt;
    unsigned value = 0;
    if (std::sscanf(std::string(field.substr(i + 1, 2)).c_str(), "%2X", &value) != 1) {
      return std::nullopt;
    }
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; in >> field;) fields.push_back(field);
  return fields;
}

}  // namespace

BotState::BotState(std::string path, std::size_t private_decks, double private_deck_days)
    : path_(std::move(path)),
      capacity_(std::max<std::size_t>(private_decks, 1)),
      keep_seconds_(static_cast<std::int64_t>(private_deck_days * 86400)) {}

bool BotState::Load(std::string* error) {
  if (path_.empty()) return true;
  std::error_code failure;
  std::filesystem::file_status status = std::filesystem::symlink_status(path_, failure);
  if (status.type() == std::filesystem::file_type::not_found) return true;
  if (status.type() != std::filesystem::file_type::regular ||
      std::filesystem::file_size(path_, failure) > kMaxFileBytes || failure) {
    *error = path_ + " is not a regular file of at most 16 MiB";
    return false;
  }
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path_;
    return false;
  }
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields = Fields(line);
    if (fields.empty() || fields[0][0] == '#') continue;
    std::vector<std::optional<std::string>> values;
    for (std::size_t i = 1; i < fields.size(); ++i) values.push_back(Unescape(fields[i]));
    bool whole = std::all_of(values.begin(), values.end(), [](const auto& v) { return v; });
    if (!whole) continue;
    if (fields[0] == "owner" && (values.size() == 3 || values.size() == 5)) {
      // A file of an older bot names the main deck's owner alone.
      std::string deck = values.size() == 5 ? *values[3] : "";
      std::int64_t left_at = values.size() == 5 ? std::strtoll(values[4]->c_str(), nullptr, 10) : 0;
      owners_[{*values[0], deck}] = {*values[1], *values[2], left_at};
    } else if (fields[0] == "deck" && values.size() == 3) {
      std::size_t slot = std::strtoull(values[0]->c_str(), nullptr, 10);
      if (slot == 0 || slot > capacity_ || values[1]->empty() || by_player_.contains(*values[1])) {
        continue;
      }
      if (slots_.size() < slot) slots_.resize(slot);
      if (!slots_[slot - 1].player.empty()) continue;
      slots_[slot - 1] = {*values[1], std::strtoll(values[2]->c_str(), nullptr, 10)};
      by_player_[*values[1]] = slot - 1;
    } else if (fields[0] == "dropped" && values.size() == 2 && dropped_.size() < capacity_) {
      dropped_.emplace_back(*values[0],
                            *values[1] == "full" ? DropReason::kFull : DropReason::kUnused);
    }
  }
  return true;
}

void BotState::Save() {
  if (path_.empty() || !dirty_) return;
  std::string text = std::string(kHeader) + "\n";
  for (const auto& [where, owner] : owners_) {
    text += "owner " + Escape(where.first) + " " + Escape(owner.key) + " " + Escape(owner.nick) +
            " " + Escape(where.second) + " " + std::to_string(owner.left_at) + "\n";
  }
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].player.empty()) continue;
    text += "deck " + std::to_string(i + 1) + " " + Escape(slots_[i].player) + " " +
            std::to_string(slots_[i].last_used) + "\n";
  }
  for (const auto& [player, reason] : dropped_) {
    text += "dropped " + Escape(player) + " " + (reason == DropReason::kFull ? "full" : "unused") +
            "\n";
  }
  // A new file, never through a link planted in its place, then renamed over the old one.
  std::string temporary = path_ + ".new";
  ::unlink(temporary.c_str());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  bool written =
      fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (fd >= 0) written = ::close(fd) == 0 && written;
  if (!written || std::rename(temporary.c_str(), path_.c_str()) != 0) {
    Log(LogLevel::kError, "cannot write " + path_ + ": deck owners and private decks not saved");
    ::unlink(temporary.c_str());
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
  PrivateTarget result{std::string(kNoDeckTarget), std::nullopt};
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

}  // namespace deckhand::host
