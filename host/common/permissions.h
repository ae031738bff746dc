// Who may run the dealer's commands on a deck of a place (deal, shuffle, peek, check, and the
// table's dealer commands): one rule per channel, read from what the chat host tells of the
// request (the sender's standing, who is present) and the deck's owner in the bot's state. Each
// deck, the main deck and every named one, has its own owner.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/common/bot_state.h"
#include "host/common/chat_application.h"

namespace deckhand::host {

enum class DealerRule {
  kOwner,  // whoever dealt the deck, and the channel's operators; anyone while no one owns it
  kAnyone,
  kVoiced,  // voiced members and above
  kOps,     // the channel's operators
  kNicks,   // the nicks listed
};

struct DealerSetting {
  DealerRule rule = DealerRule::kOwner;
  std::vector<std::string> nicks;  // for kNicks
};

// "owner", "anyone", "voiced", "ops", or nicks separated by spaces or commas.
std::optional<DealerSetting> ParseDealerSetting(std::string_view text);

class DealerPermissions {
 public:
  // `settings` by place name, compared as the request compares names; a place missing there
  // follows `fallback`.
  DealerPermissions(const BotState& state, DealerSetting fallback,
                    std::vector<std::pair<std::string, DealerSetting>> settings);

  // The request being answered: MayDeal and PresentOwner read its place, standing and who is
  // present. It must outlive their calls.
  void Consider(const ChatRequest& request) { request_ = &request; }
  // True when `nick`, the sender of the request, may run a dealer's command on `deck` (empty: the
  // main deck; a named deck's folded name) in `channel`.
  bool MayDeal(std::string_view channel, std::string_view deck, std::string_view nick) const;
  // Who may, for a refusal: the rule and, for kOwner, the owner's nick.
  const DealerSetting& SettingFor(std::string_view channel) const;
  // The owner of the deck at the request's place, there or within their grace.
  const DeckOwner* OwnerOf(std::string_view deck) const;

 private:
  bool SameName(std::string_view a, std::string_view b) const;

  const BotState* state_;
  DealerSetting fallback_;
  std::vector<std::pair<std::string, DealerSetting>> settings_;
  const ChatRequest* request_ = nullptr;
};

}  // namespace deckhand::host
