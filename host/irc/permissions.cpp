#include "host/irc/permissions.h"

#include "host/irc/session.h"

namespace deckhand::irc {

std::optional<DealerSetting> ParseDealerSetting(std::string_view text) {
  DealerSetting setting;
  if (text == "owner") return setting;
  if (text == "anyone") return DealerSetting{DealerRule::kAnyone, {}};
  if (text == "voiced") return DealerSetting{DealerRule::kVoiced, {}};
  if (text == "ops") return DealerSetting{DealerRule::kOps, {}};
  setting.rule = DealerRule::kNicks;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find_first_of(" ,", at);
    if (end == std::string_view::npos) end = text.size();
    if (end > at) setting.nicks.emplace_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (setting.nicks.empty()) return std::nullopt;
  return setting;
}

DeckOwner OwnerIdentity(const Membership& members, std::string_view nick) {
  if (std::optional<std::string> account = members.Account(nick)) {
    return {"account:" + *account, std::string(nick)};
  }
  return {"nick:" + FoldName(nick), std::string(nick)};
}

DealerPermissions::DealerPermissions(const Membership& members, const BotState& state,
                                     DealerSetting fallback,
                                     std::map<std::string, DealerSetting> settings)
    : members_(members),
      state_(state),
      fallback_(std::move(fallback)),
      settings_(std::move(settings)) {}

const DealerSetting& DealerPermissions::SettingFor(std::string_view channel) const {
  auto found = settings_.find(FoldName(channel));
  return found == settings_.end() ? fallback_ : found->second;
}

const DeckOwner* DealerPermissions::PresentOwner(std::string_view channel) const {
  const DeckOwner* owner = state_.Owner(FoldName(channel));
  if (owner == nullptr) return nullptr;
  constexpr std::string_view kAccount = "account:";
  bool present = owner->key.starts_with(kAccount)
                     ? members_.AccountIn(channel, owner->key.substr(kAccount.size()))
                     : members_.IsIn(channel, owner->nick) &&
                           OwnerIdentity(members_, owner->nick).key == owner->key;
  return present ? owner : nullptr;
}

bool DealerPermissions::MayDeal(std::string_view channel, std::string_view nick) const {
  if (!members_.IsIn(channel, nick)) return false;
  const DealerSetting& setting = SettingFor(channel);
  switch (setting.rule) {
    case DealerRule::kAnyone:
      return true;
    case DealerRule::kVoiced:
      return members_.HasAtLeast(channel, nick, '+');
    case DealerRule::kOps:
      return members_.HasAtLeast(channel, nick, '@');
    case DealerRule::kNicks:
      for (const std::string& allowed : setting.nicks) {
        if (SameName(allowed, nick)) return true;
      }
      return false;
    case DealerRule::kOwner:
      break;
  }
  if (members_.HasAtLeast(channel, nick, '@')) return true;
  const DeckOwner* owner = PresentOwner(channel);
  return owner == nullptr || owner->key == OwnerIdentity(members_, nick).key;
}

}  // namespace deckhand::irc
