// Who may run the dealer's commands in a channel (deal, shuffle, peek, check, and the table's
// dealer commands): one rule per channel.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/irc/bot_state.h"
#include "host/irc/membership.h"

namespace deckhand::irc {

enum class DealerRule {
  kOwner,  // whoever dealt the deck, and the channel's operators; anyone while no one owns it
  kAnyone,
  kVoiced,  // voiced members and above
  kOps,     // the channel's operators
  kNicks,   // the nicks listed
};

struct DealerSetting {
  DealerRule rule = DealerRule::kOwner;
  std::vector<std::string> nicks;  // for kNicks, wire bytes
};

// "owner", "anyone", "voiced", "ops", or nicks separated by spaces or commas.
std::optional<DealerSetting> ParseDealerSetting(std::string_view text);

// The identity a deck's owner is kept under: the services account where the server tells it,
// else the nick.
DeckOwner OwnerIdentity(const Membership& members, std::string_view nick);

class DealerPermissions {
 public:
  // `settings` by folded channel; a channel missing there follows `fallback`.
  DealerPermissions(const Membership& members, const BotState& state, DealerSetting fallback,
                    std::map<std::string, DealerSetting> settings);

  // True when `nick`, a member of `channel`, may run a dealer's command there.
  bool MayDeal(std::string_view channel, std::string_view nick) const;
  // Who may, for a refusal: the rule and, for kOwner, the owner's nick.
  const DealerSetting& SettingFor(std::string_view channel) const;
  // The owner of the channel's deck while they are in the channel.
  const DeckOwner* PresentOwner(std::string_view channel) const;

 private:
  const Membership& members_;
  const BotState& state_;
  DealerSetting fallback_;
  std::map<std::string, DealerSetting> settings_;
};

}  // namespace deckhand::irc
