#include "host/discord/interactions.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "host/common/ascii.h"
#include "host/common/chat_command.h"
#include "host/discord/discord_text.h"
#include "host/discord/slash_commands.h"

namespace deckhand::discord {
namespace {

using nlohmann::json;

// Discord's interaction types, and the callback types answering them.
constexpr int kPing = 1;
constexpr int kApplicationCommand = 2;
constexpr int kMessageComponent = 3;
constexpr int kAutocomplete = 4;
constexpr int kPong = 1;
constexpr int kChannelMessage = 4;
constexpr int kDeferredChannelMessage = 5;
constexpr int kAutocompleteResult = 8;
constexpr int kEphemeral = 1 << 6;
// The permissions that make a member one of the channel's operators: Administrator and Manage
// Messages.
constexpr std::uint64_t kAdministrator = 1ULL << 3;
constexpr std::uint64_t kManageMessages = 1ULL << 13;
constexpr int kBotDmContext = 1;
constexpr int kDmChannel = 1;
constexpr std::size_t kMostChoices = 25;
constexpr std::size_t kChoiceCharacters = 100;
constexpr std::size_t kMostTokenBytes = 1000;
constexpr std::size_t kMostButtonIdBytes = 100;

HttpResponse Json(const json& body) { return {200, "application/json", body.dump()}; }

std::string StringAt(const json& object, std::string_view key) {
  if (!object.is_object()) return "";
  auto found = object.find(std::string(key));
  return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

const json& ObjectAt(const json& object, std::string_view key) {
  static const json kNone = json::object();
  if (!object.is_object()) return kNone;
  auto found = object.find(std::string(key));
  return found != object.end() && found->is_object() ? *found : kNone;
}

// A token goes into the webhook's URL: only the characters Discord's tokens have, and not a
// path's "." or "..", which would send the reply to another address.
bool IsToken(std::string_view text) {
  return text.find_first_not_of('.') != std::string_view::npos && text.size() <= kMostTokenBytes &&
         std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                  c == '-' || c == '_' || c == '.';
         });
}

std::optional<std::int64_t> ReadSeconds(std::string_view text) {
  std::int64_t seconds = 0;
  auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (failure != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return seconds;
}

std::string HeaderOf(const HttpRequest& request, const std::string& name) {
  auto found = request.headers.find(name);
  return found == request.headers.end() ? "" : found->second;
}

// The sender as the game knows them: the user id, and the name the server shows.
host::ChatParty Sender(const json& interaction) {
  const json& member = ObjectAt(interaction, "member");
  const json& user =
      member.contains("user") ? ObjectAt(member, "user") : ObjectAt(interaction, "user");
  std::string id = StringAt(user, "id");
  if (!IsDiscordId(id)) throw std::invalid_argument("an interaction without its user");
  std::string name = StringAt(member, "nick");
  if (name.empty()) name = StringAt(user, "global_name");
  if (name.empty()) name = StringAt(user, "username");
  return {id, ChatName(name.empty() ? id : name)};
}

// A channel of a server, a thread (its own place), or a group; a direct message with the bot is
// the player's private table (no id). The game keeps a place's decks under its name, so the name
// is the channel's id: channel names repeat across servers, change, and often hold characters
// Shift_JIS lacks (emoji), which the game cannot key a table by.
host::ChatParty Place(const json& interaction) {
  const json& channel = ObjectAt(interaction, "channel");
  bool direct =
      !interaction.contains("guild_id") && (interaction.value("context", -1) == kBotDmContext ||
                                            channel.value("type", -1) == kDmChannel);
  if (direct) return {};
  std::string id = StringAt(interaction, "channel_id");
  if (id.empty()) id = StringAt(channel, "id");
  if (!IsDiscordId(id)) throw std::invalid_argument("an interaction without its channel");
  return {id, "#" + id};
}

bool HasRole(const json& member, const std::vector<std::string>& roles) {
  auto held = member.find("roles");
  if (held == member.end() || !held->is_array()) return false;
  return std::any_of(held->begin(), held->end(), [&](const json& role) {
    return role.is_string() &&
           std::find(roles.begin(), roles.end(), role.get<std::string>()) != roles.end();
  });
}

host::Standing StandingOf(const json& member, const DiscordSettings& settings) {
  std::uint64_t permissions = 0;
  std::string bits = StringAt(member, "permissions");
  std::from_chars(bits.data(), bits.data() + bits.size(), permissions);
  if ((permissions & (kAdministrator | kManageMessages)) != 0 ||
      HasRole(member, settings.operator_roles)) {
    return host::Standing::kOperator;
  }
  return HasRole(member, settings.voiced_roles) ? host::Standing::kVoiced : host::Standing::kMember;
}

// Card names are the players' own text: what Discord's markdown would read as formatting stays
// as typed. Emphasis, code, spoilers and mentions anywhere; quotes, headings and lists only start
// a line.
std::string EscapeMarkdown(std::string_view text) {
  std::string escaped;
  bool line_start = true;
  for (char c : text) {
    bool marks = std::string_view("\\*_~`|<").find(c) != std::string_view::npos ||
                 (line_start && std::string_view(">#-+").find(c) != std::string_view::npos);
    if (marks) escaped += '\\';
    escaped += c;
    line_start = c == '\n';
  }
  return escaped;
}

// Where to cut `text` to keep at most `limit` characters: after a line break when there is one.
std::size_t CutPoint(std::string_view text, std::size_t limit) {
  std::size_t at = CharactersEnd(text, limit);
  if (at == text.size()) return at;
  std::size_t line_end = text.rfind('\n', at);
  return line_end != std::string_view::npos && line_end > 0 ? line_end + 1 : at;
}

// The lines as messages of at most Discord's length.
void AddMessages(const std::vector<std::string>& lines, bool ephemeral,
                 std::vector<DiscordMessage>& messages) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  std::string_view rest = text;
  while (!rest.empty()) {
    std::size_t cut = CutPoint(rest, kMessageCharacters);
    DiscordMessage message;
    message.content = std::string(rest.substr(0, cut));
    if (message.content.size() > 1 && message.content.back() == '\n') message.content.pop_back();
    message.ephemeral = ephemeral;
    messages.push_back(std::move(message));
    rest.remove_prefix(cut);
  }
}

// At most kMostMessages, the last saying it was cut.
void Bound(std::vector<DiscordMessage>& messages, const std::string& cut_text) {
  if (messages.size() <= kMostMessages) return;
  messages.resize(kMostMessages);
  std::string& last = messages.back().content;
  std::string end = "\n" + cut_text;
  std::size_t keep = kMessageCharacters - std::min(kMessageCharacters, Characters(end));
  last = last.substr(0, CutPoint(last, keep)) + end;
}

json MessageData(const DiscordMessage& message, bool with_flags) {
  json data = {{"content", message.content}, {"allowed_mentions", {{"parse", json::array()}}}};
  if (with_flags && message.ephemeral) data["flags"] = kEphemeral;
  if (!message.button_command.empty()) {
    data["components"] =
        json::array({{{"type", 1},
                      {"components", json::array({{{"type", 2},
                                                   {"style", 1},
                                                   {"label", message.button_label},
                                                   {"custom_id", message.button_command}}})}}});
  }
  return data;
}

ClientRequest JsonCall(std::string method, std::string url, const json& body) {
  return {std::move(method), std::move(url), {{"Content-Type", "application/json"}}, body.dump()};
}

}  // namespace

HttpResponse Refusal(int status, std::string_view reason) {
  return {status, "application/json", json({{"error", reason}}).dump()};
}

InteractionEndpoint::InteractionEndpoint(const DiscordSettings& settings, SignatureCheck signatures,
                                         std::vector<std::string> modes,
                                         const host::ChatApplication& game)
    : settings_(&settings),
      signatures_(std::move(signatures)),
      modes_(std::move(modes)),
      game_(&game) {}

Received InteractionEndpoint::Receive(const HttpRequest& request, std::int64_t now) const {
  std::string_view path = std::string_view(request.target).substr(0, request.target.find('?'));
  if (path != settings_->path) return {Refusal(404, "no such endpoint"), {}};
  if (request.method != "POST") return {Refusal(405, "interactions are POSTed"), {}};
  std::string timestamp = HeaderOf(request, "x-signature-timestamp");
  std::string signature = HeaderOf(request, "x-signature-ed25519");
  if (!signatures_.Verify(timestamp, request.body, signature)) {
    return {Refusal(401, "invalid request signature"), {}};
  }
  std::optional<std::int64_t> signed_at = ReadSeconds(timestamp);
  if (!signed_at || *signed_at < now - kMostClockSkewSeconds ||
      *signed_at > now + kMostClockSkewSeconds) {
    return {Refusal(401, "the request's timestamp is too far from now"), {}};
  }
  json interaction = json::parse(request.body, nullptr, false);
  if (!interaction.is_object()) return {Refusal(400, "the body is no JSON object"), {}};
  try {
    return Interaction(interaction);
  } catch (const std::exception&) {
    return {Refusal(400, "not an interaction this endpoint knows"), {}};
  }
}

Received InteractionEndpoint::Interaction(const json& interaction) const {
  int type = interaction.value("type", 0);
  const json& data = ObjectAt(interaction, "data");
  if (type == kPing) return {Json({{"type", kPong}}), {}};
  if (type == kAutocomplete) return {Autocomplete(data), {}};
  if (type == kApplicationCommand) {
    std::optional<SlashCall> call = ReadSlashCall(data, {Sender(interaction)});
    if (!call) return {Refusal(400, "no such command, or a wrong option"), {}};
    return Command(interaction, std::move(call->text), std::move(call->named));
  }
  if (type == kMessageComponent) {
    std::string button = StringAt(data, "custom_id");
    std::optional<host::ChatCommand> hand = host::ParseChatCommand("/" + button, "/");
    if (!hand || hand->info->id != host::CommandId::kHand || hand->text != button ||
        !hand->arguments.empty()) {
      return {Refusal(400, "no such button"), {}};
    }
    return Command(interaction, button, {});
  }
  return {Refusal(400, "an interaction type this endpoint does not take"), {}};
}

Received InteractionEndpoint::Command(const json& interaction, std::string text,
                                      std::vector<host::ChatParty> named) const {
  PendingCommand command;
  command.token = StringAt(interaction, "token");
  command.application_id = StringAt(interaction, "application_id");
  if (!IsToken(command.token) || !IsDiscordId(command.application_id)) {
    return {Refusal(400, "an interaction without its token"), {}};
  }
  host::ChatRequest& request = command.request;
  request.player = Sender(interaction);
  request.place = Place(interaction);
  request.text = settings_->prefix + text;
  request.standing = StandingOf(ObjectAt(interaction, "member"), *settings_);
  // Discord tells who a command names, not who can see the channel.
  request.present_complete = false;
  if (!request.at_private_table()) {
    request.present.push_back(request.player);
    for (host::ChatParty& party : named) {
      if (party.id != request.player.id) request.present.push_back(std::move(party));
    }
  }
  std::optional<host::ChatCommand> parsed = host::ParseChatCommand(request.text, settings_->prefix);
  if (!parsed) return {Refusal(400, "no such command"), {}};
  command.info = parsed->info;
  command.deck = parsed->deck;
  if (std::optional<host::ChatAnswer> now = game_->AnswerAtOnce(request)) {
    return {MessageResponse(Messages(command, *now).front()), {}};
  }
  return {{}, std::move(command)};
}

HttpResponse InteractionEndpoint::Autocomplete(const json& data) const {
  std::string typed = host::LowerAscii(FocusedMode(data).value_or(""));
  json choices = json::array();
  for (const std::string& mode : modes_) {
    if (choices.size() == kMostChoices) break;
    if (Characters(mode) > kChoiceCharacters) continue;
    if (host::LowerAscii(mode).find(typed) == std::string::npos) continue;
    choices.push_back({{"name", mode}, {"value", mode}});
  }
  return Json({{"type", kAutocompleteResult}, {"data", {{"choices", std::move(choices)}}}});
}

std::vector<DiscordMessage> InteractionEndpoint::Messages(const PendingCommand& command,
                                                          const host::ChatAnswer& answer) const {
  const host::ChatParty& asker = command.request.player;
  bool deal = command.info != nullptr && command.info->id == host::CommandId::kDeal;
  std::vector<std::string> own;
  std::vector<std::string> place;
  for (const host::AddressedLine& line : answer.lines) {
    std::string text = EscapeMarkdown(line.text);
    if (line.to_place) {
      place.push_back(std::move(text));
    } else if (line.player_id == asker.id ||
               (line.player_id.empty() && line.player == asker.name)) {
      // A dealt hand is shown by the button, to the dealer as to everyone.
      if (!(deal && line.secret)) own.push_back(std::move(text));
    }
  }
  std::vector<DiscordMessage> messages;
  AddMessages(own, true, messages);
  AddMessages(place, false, messages);
  if (messages.empty()) {
    messages.push_back({settings_->discord_texts.no_reply, true, "", ""});
  }
  Bound(messages, settings_->discord_texts.cut);
  std::string button = std::string(host::ChatCommandOf(host::CommandId::kHand).word) +
                       (command.deck.empty() ? "" : "@" + command.deck);
  // Discord refuses a whole message whose button id is too long: a deck of so long a name is
  // shown with /hand alone.
  if (deal && !place.empty() && !command.request.at_private_table() &&
      button.size() <= kMostButtonIdBytes) {
    DiscordMessage& announcement = messages.back();
    announcement.button_command = std::move(button);
    announcement.button_label = settings_->discord_texts.hand_button;
  }
  return messages;
}

HttpResponse InteractionEndpoint::MessageResponse(const DiscordMessage& message) {
  return Json({{"type", kChannelMessage}, {"data", MessageData(message, true)}});
}

HttpResponse InteractionEndpoint::DeferredResponse() {
  return Json({{"type", kDeferredChannelMessage}, {"data", {{"flags", kEphemeral}}}});
}

std::vector<ClientRequest> InteractionEndpoint::WebhookCalls(
    const PendingCommand& command, const std::vector<DiscordMessage>& messages,
    bool deferred) const {
  std::string webhook =
      settings_->api + "/webhooks/" + command.application_id + "/" + command.token;
  std::vector<ClientRequest> calls;
  std::size_t first_followup = deferred ? 0 : 1;
  if (deferred) {
    // The "thinking" answer was the asker's alone; it shows their own lines, or where the reply
    // went.
    DiscordMessage original = messages.front();
    if (original.ephemeral) {
      first_followup = 1;
    } else {
      original = {settings_->discord_texts.answered_in_channel, true, "", ""};
    }
    calls.push_back(
        JsonCall("PATCH", webhook + "/messages/@original", MessageData(original, false)));
  }
  for (std::size_t at = first_followup; at < messages.size(); ++at) {
    calls.push_back(JsonCall("POST", webhook, MessageData(messages[at], true)));
  }
  return calls;
}

}  // namespace deckhand::discord
