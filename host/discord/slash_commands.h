// The game's chat commands as Discord's slash commands: one per command of the registry
// (host/common/command_registry.h), each argument an option of its kind, and the way back from an
// invoked command's options to the chat command the game plays ("draw@tarot,1-3").
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/chat_application.h"
#include "host/common/command_registry.h"

namespace deckhand::discord {

// The most players one deal names: Discord has no option for a list of users, so a deal takes
// player1 to player10.
inline constexpr int kMostDealtPlayers = 10;

// The name of the option that names a deck ("@DECK"), and of the mode option, which Discord
// fills by autocomplete.
inline constexpr std::string_view kDeckOption = "deck";
inline constexpr std::string_view kModeOption = "mode";

// Every command, as the JSON array that Discord's bulk overwrite of an application's commands
// takes. Descriptions are the registry's help texts, in UTF-8.
nlohmann::json SlashCommandDefinitions();

// A chat-safe form of a name as Discord shows it: the game cuts commands at spaces and arguments
// at commas, so those become their full-width forms; control characters are dropped.
std::string ChatName(std::string_view discord_name);

// An invoked command: the chat command the game plays, and the users its options named.
struct SlashCall {
  std::string text;  // without the prefix: "deal,5,alice,bob"
  std::vector<host::ChatParty> named;
};

// The command that `data` (an APPLICATION_COMMAND interaction's data) invokes; nullopt for a name
// or an option the commands do not have, or a value of the wrong kind. `named` takes the users
// of user options, by name as `resolved` shows them, made unique among `taken` names.
std::optional<SlashCall> ReadSlashCall(const nlohmann::json& data,
                                       const std::vector<host::ChatParty>& taken);

// The value typed so far into the focused option of an APPLICATION_COMMAND_AUTOCOMPLETE
// interaction's data, when that option is the mode.
std::optional<std::string> FocusedMode(const nlohmann::json& data);

}  // namespace deckhand::discord
