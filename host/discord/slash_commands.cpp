#include "host/discord/slash_commands.h"

#include <algorithm>

#include "host/common/ascii.h"
#include "host/common/wire_codec.h"
#include "host/discord/discord_text.h"

namespace deckhand::discord {
namespace {

using host::ArgumentKind;
using nlohmann::json;

// Discord's option types.
constexpr int kString = 3;
constexpr int kInteger = 4;
constexpr int kBoolean = 5;
constexpr int kUser = 6;

// Discord's bounds on a description and on a string option's value.
constexpr std::size_t kDescriptionCharacters = 100;
constexpr std::size_t kMostValueBytes = 200;

struct OptionShape {
  std::string name;
  int type;
  std::string description;
  bool required;
};

// The registry's help text of `command`, in UTF-8, cut to Discord's bound.
std::string DescriptionText(const host::ChatCommandInfo& command) {
  std::string text = host::WireCodec(host::WireEncoding::kUtf8).ToWire(command.help);
  return text.substr(0, CharactersEnd(text, kDescriptionCharacters));
}

// What each kind of argument asks for, as its option's description.
std::string_view DescriptionOf(ArgumentKind kind) {
  switch (kind) {
    case ArgumentKind::kMode:
      return "モード（カードセット）";
    case ArgumentKind::kSelector:
      return "カードの位置: 3、1,3、2-4 など";
    case ArgumentKind::kCount:
      return "枚数";
    case ArgumentKind::kPlayers:
    case ArgumentKind::kPlayer:
      return "プレイヤー";
    case ArgumentKind::kOnOff:
      return "on か off";
    case ArgumentKind::kAll:
      return "手札も戻す";
    case ArgumentKind::kText:
      break;
  }
  return "文字列";
}

std::string OptionName(const host::CommandArgument& argument) {
  switch (argument.kind) {
    case ArgumentKind::kMode:
      return std::string(kModeOption);
    case ArgumentKind::kSelector:
      return "selector";
    case ArgumentKind::kCount:
      return "count";
    case ArgumentKind::kPlayers:
      return "player1";
    case ArgumentKind::kPlayer:
      return "player";
    case ArgumentKind::kOnOff:
      return "setting";
    case ArgumentKind::kAll:
      return "all";
    case ArgumentKind::kText:
      break;
  }
  return host::LowerAscii(argument.name);
}

int TypeOf(ArgumentKind kind) {
  switch (kind) {
    case ArgumentKind::kCount:
      return kInteger;
    case ArgumentKind::kPlayers:
    case ArgumentKind::kPlayer:
      return kUser;
    case ArgumentKind::kAll:
      return kBoolean;
    default:
      return kString;
  }
}

// The options of a command, in the order its arguments are typed; the deck last.
std::vector<OptionShape> OptionsOf(const host::ChatCommandInfo& command) {
  std::vector<OptionShape> options;
  for (const host::CommandArgument& argument : command.arguments) {
    std::string description(DescriptionOf(argument.kind));
    options.push_back(
        {OptionName(argument), TypeOf(argument.kind), description, !argument.optional});
    if (argument.kind == ArgumentKind::kPlayers) {
      for (int more = 2; more <= kMostDealtPlayers; ++more) {
        options.push_back({"player" + std::to_string(more), kUser, description, false});
      }
    }
  }
  if (command.on_deck) {
    options.push_back(
        {std::string(kDeckOption), kString, "デッキの名前（なし: メインのデッキ）", false});
  }
  return options;
}

json OptionDefinition(const host::ChatCommandInfo& command, const OptionShape& shape) {
  json option = {{"type", shape.type},
                 {"name", shape.name},
                 {"description", shape.description},
                 {"required", shape.required}};
  if (shape.name == kModeOption) option["autocomplete"] = true;
  if (shape.type == kInteger) option["min_value"] = 1;
  if (shape.name == "setting") {
    option["choices"] =
        json::array({{{"name", "on"}, {"value", "on"}}, {{"name", "off"}, {"value", "off"}}});
  }
  if (command.id == host::CommandId::kHelp) {
    json choices = json::array();
    for (const host::ChatCommandInfo& other : host::ChatCommands()) {
      choices.push_back({{"name", other.word}, {"value", other.word}});
    }
    option["choices"] = std::move(choices);
  }
  return option;
}

const json* OptionNamed(const json& data, std::string_view name) {
  auto options = data.find("options");
  if (options == data.end() || !options->is_array()) return nullptr;
  for (const json& option : *options) {
    if (option.is_object() && option.value("name", "") == name) return &option;
  }
  return nullptr;
}

// A string option's value as the game may read it: nullopt when it is no string or too long.
std::optional<std::string> StringValue(const json& option) {
  auto value = option.find("value");
  if (value == option.end() || !value->is_string()) return std::nullopt;
  std::string text = value->get<std::string>();
  if (text.size() > kMostValueBytes) return std::nullopt;
  // A line break or any control character would end the command early, or worse, in a log.
  if (std::any_of(text.begin(), text.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
    return std::nullopt;
  }
  return text;
}

std::string ResolvedName(const json& data, const std::string& id) {
  const json* resolved = data.contains("resolved") ? &data["resolved"] : nullptr;
  auto text_at = [&](std::string_view group, std::string_view field) -> std::string {
    if (resolved == nullptr || !resolved->is_object()) return "";
    auto members = resolved->find(std::string(group));
    if (members == resolved->end() || !members->is_object()) return "";
    auto member = members->find(id);
    if (member == members->end() || !member->is_object()) return "";
    auto value = member->find(std::string(field));
    return value != member->end() && value->is_string() ? value->get<std::string>() : "";
  };
  for (std::string name : {text_at("members", "nick"), text_at("users", "global_name"),
                           text_at("users", "username")}) {
    if (!name.empty()) return name;
  }
  return id;
}

// `name`, or with the end of `id` after it when another party present goes by it already; again
// while that too is taken, since a player may choose a name to match the one made up here.
std::string UniqueName(std::string name, const std::string& id,
                       const std::vector<host::ChatParty>& taken) {
  auto clashes = [&](const std::string& candidate) {
    return std::any_of(taken.begin(), taken.end(), [&](const host::ChatParty& party) {
      return party.name == candidate && party.id != id;
    });
  };
  const std::string tag = "#" + id.substr(id.size() > 4 ? id.size() - 4 : 0);
  while (clashes(name)) name += tag;
  return name;
}

// A user option's value, the user added to `call`; nullopt for no user id.
std::optional<std::string> UserValue(const json& data, const json& option,
                                     const std::vector<host::ChatParty>& taken, SlashCall& call) {
  std::optional<std::string> id = StringValue(option);
  if (!id || !IsDiscordId(*id)) {
    return std::nullopt;
  }
  for (const host::ChatParty& party : call.named) {
    if (party.id == *id) return party.name;
  }
  std::vector<host::ChatParty> all = taken;
  all.insert(all.end(), call.named.begin(), call.named.end());
  std::string name = UniqueName(ChatName(ResolvedName(data, *id)), *id, all);
  call.named.push_back({*id, name});
  return name;
}

// The text an argument's option gives, or "" when it is not given; nullopt for a wrong value.
std::optional<std::string> ArgumentText(const json& data, const host::CommandArgument& argument,
                                        const std::vector<host::ChatParty>& taken,
                                        SlashCall& call) {
  const json* option = OptionNamed(data, OptionName(argument));
  if (option == nullptr) return "";
  switch (argument.kind) {
    case ArgumentKind::kCount: {
      auto value = option->find("value");
      if (value == option->end() || !value->is_number_integer() || value->get<long long>() < 0) {
        return std::nullopt;
      }
      return std::to_string(value->get<long long>());
    }
    case ArgumentKind::kAll: {
      auto value = option->find("value");
      if (value == option->end() || !value->is_boolean()) return std::nullopt;
      return value->get<bool>() ? "all" : "";
    }
    case ArgumentKind::kPlayer:
      return UserValue(data, *option, taken, call);
    case ArgumentKind::kPlayers: {
      std::string names;
      for (int number = 1; number <= kMostDealtPlayers; ++number) {
        const json* player = OptionNamed(data, "player" + std::to_string(number));
        if (player == nullptr) continue;
        std::optional<std::string> name = UserValue(data, *player, taken, call);
        if (!name) return std::nullopt;
        names += (names.empty() ? "" : ",") + *name;
      }
      return names;
    }
    default:
      return StringValue(*option);
  }
}

}  // namespace

nlohmann::json SlashCommandDefinitions() {
  json commands = json::array();
  for (const host::ChatCommandInfo& command : host::ChatCommands()) {
    json options = json::array();
    for (const OptionShape& shape : OptionsOf(command)) {
      options.push_back(OptionDefinition(command, shape));
    }
    commands.push_back({{"name", command.word},
                        {"type", 1},
                        // In servers and in direct messages with the bot (a player's own
                        // table), for the application installed on a server.
                        {"contexts", json::array({0, 1})},
                        {"integration_types", json::array({0})},
                        {"description", DescriptionText(command)},
                        {"options", std::move(options)}});
  }
  return commands;
}

// Characters that reorder or break the lines a name is shown in (bidirectional controls, line
// and paragraph separators), by their UTF-8 bytes.
bool ReordersText(std::string_view rest) {
  static constexpr std::string_view kControls[] = {"\u200E", "\u200F", "\u2028", "\u2029", "\u202A",
                                                   "\u202B", "\u202C", "\u202D", "\u202E", "\u2066",
                                                   "\u2067", "\u2068", "\u2069"};
  return std::any_of(std::begin(kControls), std::end(kControls),
                     [&](std::string_view control) { return rest.starts_with(control); });
}

std::string ChatName(std::string_view discord_name) {
  std::string name;
  for (std::size_t at = 0; at < discord_name.size(); ++at) {
    char c = discord_name[at];
    if (ReordersText(discord_name.substr(at))) {
      at += 2;  // each is three bytes
    } else if (c == ' ') {
      name += "\u3000";
    } else if (c == ',') {
      name += "\uFF0C";
    } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) {
      name += c;
    }
  }
  return name.empty() ? "?" : name;
}

std::optional<SlashCall> ReadSlashCall(const nlohmann::json& data,
                                       const std::vector<host::ChatParty>& taken) {
  if (!data.is_object() || !data.contains("name") || !data["name"].is_string()) return std::nullopt;
  const host::ChatCommandInfo* command = host::FindChatCommand(data["name"].get<std::string>());
  if (command == nullptr) return std::nullopt;
  // An option the command does not have (a registration older than this program) would be
  // left out silently: the command is refused instead.
  std::vector<OptionShape> shapes = OptionsOf(*command);
  if (auto given = data.find("options"); given != data.end() && given->is_array()) {
    for (const json& option : *given) {
      std::string name = option.is_object() ? option.value("name", "") : "";
      if (std::none_of(shapes.begin(), shapes.end(),
                       [&](const OptionShape& shape) { return shape.name == name; })) {
        return std::nullopt;
      }
    }
  }
  SlashCall call;
  call.text = command->word;
  if (const json* deck = OptionNamed(data, kDeckOption); deck != nullptr && command->on_deck) {
    std::optional<std::string> name = StringValue(*deck);
    if (!name) return std::nullopt;
    if (!name->empty()) call.text += "@" + *name;
  }
  for (const host::CommandArgument& argument : command->arguments) {
    std::optional<std::string> text = ArgumentText(data, argument, taken, call);
    if (!text) return std::nullopt;
    // Arguments are typed in order: one left out ends them.
    if (text->empty()) break;
    call.text += "," + *text;
  }
  return call;
}

std::optional<std::string> FocusedMode(const nlohmann::json& data) {
  if (!data.is_object()) return std::nullopt;
  const json* option = OptionNamed(data, kModeOption);
  if (option == nullptr || !option->value("focused", false)) return std::nullopt;
  std::optional<std::string> typed = StringValue(*option);
  return typed ? typed : std::string();
}

}  // namespace deckhand::discord
