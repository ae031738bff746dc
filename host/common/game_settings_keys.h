// The game's settings as a chat host's settings file writes them: [game] and [texts] keys, each
// with the rule that checks its value. Every chat host reads them the same way.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/game_settings.h"

namespace deckhand::host {

// Sets one value; the reason when the value is wrong.
using GameSetter = std::function<std::optional<std::string>(const std::string&, GameSettings&)>;

struct GameSettingKey {
  std::string_view section;
  std::string name;
  GameSetter set;
};

// Every key of the game: [game] prefix, modes, dealer, owner_grace, private_decks,
// private_deck_days, transcripts, transcript_days, transcript_files; [texts] each host text and
// help_WORD for every command word of the registry.
const std::vector<GameSettingKey>& GameSettingKeys();

// The key of `section` and `name`, or nullptr.
const GameSettingKey* FindGameSettingKey(std::string_view section, std::string_view name);

// "true", "yes", "on", "1" and their opposites.
std::optional<bool> ParseBoolean(std::string_view value);

// A number above 0 and at most `limit`, or the reason it is not.
std::optional<std::string> ReadPositive(const std::string& value, double limit, double& number);

}  // namespace deckhand::host
