#include "host/irc/membership.h"

#include <algorithm>

namespace deckhand::irc {

void Membership::SetPrefix(std::string_view value) {
  // "(modes)symbols" of equal length; anything else keeps what was there.
  std::size_t close = value.find(')');
  if (value.empty() || value[0] != '(' || close == std::string_view::npos) return;
  std::string_view modes = value.substr(1, close - 1);
  std::string_view symbols = value.substr(close + 1);
  if (modes.size() != symbols.size() || modes.empty()) return;
  modes_ = modes;
  symbols_ = symbols;
}

void Membership::SetChannelModes(std::string_view value) {
  std::vector<std::string> kinds;
  std::size_t at = 0;
  for (std::size_t comma; (comma = value.find(',', at)) != std::string_view::npos; at = comma + 1) {
    kinds.emplace_back(value.substr(at, comma - at));
  }
  kinds.emplace_back(value.substr(at));
  if (kinds.size() < 3) return;
  list_modes_ = kinds[0];
  key_modes_ = kinds[1];
  limit_modes_ = kinds[2];
}

void Membership::SetCaseMapping(CaseMapping mapping) {
  if (mapping == mapping_) return;
  mapping_ = mapping;
  // The 005 comes before any JOIN on the servers we know; names seen earlier are folded again,
  // and what the old folding merged stays merged.
  std::map<std::string, Members> channels;
  for (auto& [channel, members] : channels_) {
    Members& refolded = channels[Fold(channel)];
    for (auto& [nick, member] : members) refolded.emplace(Fold(nick), std::move(member));
  }
  channels_ = std::move(channels);
  std::map<std::string, std::string> accounts;
  for (auto& [nick, account] : accounts_) accounts.emplace(Fold(nick), std::move(account));
  accounts_ = std::move(accounts);
}

std::string Membership::Fold(std::string_view name) const { return FoldName(name, mapping_); }

void Membership::Joined(std::string_view channel) { channels_[Fold(channel)].clear(); }

void Membership::Left(std::string_view channel) { channels_.erase(Fold(channel)); }

bool Membership::IsJoined(std::string_view channel) const { return Find(channel) != nullptr; }

Membership::Members* Membership::Find(std::string_view channel) {
  auto found = channels_.find(Fold(channel));
  return found == channels_.end() ? nullptr : &found->second;
}

const Membership::Members* Membership::Find(std::string_view channel) const {
  auto found = channels_.find(Fold(channel));
  return found == channels_.end() ? nullptr : &found->second;
}

void Membership::AddNames(std::string_view channel, std::string_view names) {
  Members* members = Find(channel);
  if (members == nullptr) return;
  std::size_t at = 0;
  while (at < names.size()) {
    std::size_t space = names.find(' ', at);
    std::string_view name =
        names.substr(at, space == std::string_view::npos ? names.npos : space - at);
    at = space == std::string_view::npos ? names.size() : space + 1;
    std::size_t start = name.find_first_not_of(symbols_);
    if (start == std::string_view::npos) continue;
    // userhost-in-names: "nick!user@host".
    std::string_view nick = name.substr(start, name.find('!') - start);
    if (nick.empty() || (members->size() >= kMaxMembers && !members->contains(Fold(nick)))) {
      continue;
    }
    (*members)[Fold(nick)].symbols = name.substr(0, start);
  }
}

void Membership::Join(std::string_view channel, std::string_view nick) {
  Members* members = Find(channel);
  if (members == nullptr || members->size() >= kMaxMembers) return;
  members->try_emplace(Fold(nick));
}

void Membership::Leave(std::string_view channel, std::string_view nick) {
  if (Members* members = Find(channel)) members->erase(Fold(nick));
  Forget(nick);
}

void Membership::Quit(std::string_view nick) {
  for (auto& [name, members] : channels_) members.erase(Fold(nick));
  accounts_.erase(Fold(nick));
}

void Membership::Forget(std::string_view nick) {
  std::string folded = Fold(nick);
  for (const auto& [name, members] : channels_) {
    if (members.contains(folded)) return;
  }
  accounts_.erase(folded);
}

void Membership::Rename(std::string_view old_nick, std::string_view new_nick) {
  std::string from = Fold(old_nick);
  std::string to = Fold(new_nick);
  if (from == to) return;
  for (auto& [name, members] : channels_) {
    auto found = members.find(from);
    if (found == members.end()) continue;
    Member member = std::move(found->second);
    members.erase(found);
    members[to] = std::move(member);
  }
  // A new nick starts without an account until the server says otherwise; the old one's is kept
  // where the server tells accounts only at join (account-notify follows a logout).
  auto account = accounts_.find(from);
  if (account != accounts_.end()) {
    accounts_[to] = std::move(account->second);
    accounts_.erase(from);
  }
}

void Membership::Mode(std::string_view channel, const std::vector<std::string>& params) {
  Members* members = Find(channel);
  if (members == nullptr || params.empty()) return;
  bool adding = true;
  std::size_t argument = 1;
  for (char mode : params[0]) {
    if (mode == '+' || mode == '-') {
      adding = mode == '+';
      continue;
    }
    std::size_t status = modes_.find(mode);
    bool takes_argument = status != std::string::npos ||
                          list_modes_.find(mode) != std::string::npos ||
                          key_modes_.find(mode) != std::string::npos ||
                          (adding && limit_modes_.find(mode) != std::string::npos);
    if (!takes_argument) continue;
    if (argument >= params.size()) return;
    const std::string& target = params[argument++];
    if (status == std::string::npos) continue;
    auto member = members->find(Fold(target));
    if (member == members->end()) continue;
    std::string& held = member->second.symbols;
    char symbol = symbols_[status];
    if (adding && held.find(symbol) == std::string::npos) held += symbol;
    if (!adding) std::erase(held, symbol);
  }
}

void Membership::SetAccount(std::string_view nick, std::string_view account) {
  if (account.empty() || account == "*") {
    accounts_.erase(Fold(nick));
    return;
  }
  // Only members are followed, so that the map stays as small as the channels.
  for (const auto& [name, members] : channels_) {
    if (members.contains(Fold(nick))) {
      accounts_[Fold(nick)] = account;
      return;
    }
  }
}

bool Membership::IsIn(std::string_view channel, std::string_view nick) const {
  const Members* members = Find(channel);
  return members != nullptr && members->contains(Fold(nick));
}

bool Membership::IsAnywhere(std::string_view nick) const {
  std::string folded = Fold(nick);
  return std::any_of(channels_.begin(), channels_.end(),
                     [&folded](const auto& channel) { return channel.second.contains(folded); });
}

std::vector<std::string> Membership::FoldedMembers(std::string_view channel) const {
  std::vector<std::string> nicks;
  if (const Members* members = Find(channel)) {
    for (const auto& [nick, member] : *members) nicks.push_back(nick);
  }
  return nicks;
}

std::size_t Membership::Rank(char symbol) const { return symbols_.find(symbol); }

bool Membership::HasAtLeast(std::string_view channel, std::string_view nick, char symbol) const {
  const Members* members = Find(channel);
  if (members == nullptr) return false;
  auto member = members->find(Fold(nick));
  if (member == members->end()) return false;
  std::size_t needed = Rank(symbol);
  if (needed == std::string::npos) return false;
  for (char held : member->second.symbols) {
    if (Rank(held) <= needed) return true;
  }
  return false;
}

std::optional<std::string> Membership::Account(std::string_view nick) const {
  auto found = accounts_.find(Fold(nick));
  if (found == accounts_.end()) return std::nullopt;
  return found->second;
}

bool Membership::AccountIn(std::string_view channel, std::string_view account) const {
  const Members* members = Find(channel);
  if (members == nullptr) return false;
  for (const auto& [nick, member] : *members) {
    auto found = accounts_.find(nick);
    if (found != accounts_.end() && found->second == account) return true;
  }
  return false;
}

}  // namespace deckhand::irc
