#include "host/common/permissions.h"

#include <algorithm>

namespace deckhand::host {

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

DealerPermissions::DealerPermissions(const BotState& state, DealerSetting fallback,
                                     std::vector<std::pair<std::string, DealerSetting>> settings)
    : state_(&state), fallback_(std::move(fallback)), settings_(std::move(settings)) {}

const DealerSetting& DealerPermissions::SettingFor(std::string_view channel) const {
  for (const auto& [place, setting] : settings_) {
    if (SameName(place, channel)) return setting;
  }
  return fallback_;
}

const DeckOwner* DealerPermissions::OwnerOf(std::string_view deck) const {
  return state_->Owner(request_->place.id, deck);
}

bool DealerPermissions::SameName(std::string_view a, std::string_view b) const {
  return request_ != nullptr && request_->same_name ? request_->same_name(a, b) : a == b;
}

bool DealerPermissions::MayDeal(std::string_view channel, std::string_view deck,
                                std::string_view nick) const {
  bool present = std::any_of(request_->present.begin(), request_->present.end(),
                             [&](const ChatParty& party) { return SameName(party.name, nick); });
  if (!present) return false;
  const DealerSetting& setting = SettingFor(channel);
  switch (setting.rule) {
    case DealerRule::kAnyone:
      return true;
    case DealerRule::kVoiced:
      return request_->standing >= Standing::kVoiced;
    case DealerRule::kOps:
      return request_->standing == Standing::kOperator;
    case DealerRule::kNicks:
      for (const std::string& allowed : setting.nicks) {
        if (SameName(allowed, nick)) return true;
      }
      return false;
    case DealerRule::kOwner:
      break;
  }
  if (request_->standing == Standing::kOperator) return true;
  const DeckOwner* owner = OwnerOf(deck);
  return owner == nullptr || owner->key == request_->player.id;
}

}  // namespace deckhand::host
