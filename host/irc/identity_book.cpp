#include "host/irc/identity_book.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "host/common/log.h"
#include "host/common/state_file.h"

namespace deckhand::irc {
namespace {

constexpr std::string_view kHeader = "# deckhand-irc players: connections followed across nicks";
constexpr std::string_view kConnection = "conn:";

}  // namespace

std::string IdentityBook::Key(std::string_view folded_nick, std::string_view user_host) {
  // Neither a nick nor a user@host holds a space.
  return std::string(folded_nick) + " " + std::string(user_host);
}

bool IdentityBook::Load(std::string* error) {
  if (path_.empty()) return true;
  std::optional<std::vector<host::StateRecord>> records = host::ReadStateFile(path_, error);
  if (!records) return false;
  for (const host::StateRecord& fields : *records) {
    if (fields.size() != 4 || fields[0] != "renamed" || renamed_.size() >= kMaxRenamed) continue;
    renamed_[Key(fields[1], fields[2])] = {fields[3], ++renames_};
  }
  return true;
}

std::string IdentityBook::Identify(std::string_view folded_nick, std::string_view user_host) const {
  std::string key = Key(folded_nick, user_host);
  auto renamed = renamed_.find(key);
  if (renamed != renamed_.end()) return renamed->second.id;
  return std::string(kConnection) + key;
}

void IdentityBook::Renamed(const std::string& id, std::string_view folded_nick,
                           std::string_view user_host) {
  std::string key = Key(folded_nick, user_host);
  // Back under the nick it was first seen with: its own name finds it again.
  if (id == std::string(kConnection) + key) {
    if (renamed_.erase(key) > 0) Save();
    return;
  }
  if (!renamed_.contains(key) && renamed_.size() >= kMaxRenamed) {
    renamed_.erase(std::min_element(
        renamed_.begin(), renamed_.end(),
        [](const auto& a, const auto& b) { return a.second.order < b.second.order; }));
  }
  renamed_[key] = {id, ++renames_};
  Save();
}

void IdentityBook::Save() const {
  if (path_.empty()) return;
  std::vector<const std::pair<const std::string, Alias>*> entries;
  for (const auto& entry : renamed_) entries.push_back(&entry);
  // Oldest first, so that a book read back forgets the same ones first.
  std::sort(entries.begin(), entries.end(),
            [](const auto* a, const auto* b) { return a->second.order < b->second.order; });
  std::string text = std::string(kHeader) + "\n";
  for (const auto* entry : entries) {
    std::size_t space = entry->first.find(' ');
    text += "renamed " + host::EscapeField(entry->first.substr(0, space)) + " " +
            host::EscapeField(entry->first.substr(space + 1)) + " " +
            host::EscapeField(entry->second.id) + "\n";
  }
  if (!host::WriteStateFile(path_, text)) {
    host::Log(host::LogLevel::kError,
              "cannot write " + path_ + ": players who changed nick are not kept");
  }
}

}  // namespace deckhand::irc
