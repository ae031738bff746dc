// Discord's interactions endpoint, without sockets: a signed HTTP request in, and either its
// answer or a command for the game; then the game's answer as Discord messages, the first in
// the HTTP answer (or, when the game took too long, through the interaction's webhook), the rest
// as follow-ups. Every text is UTF-8.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "host/common/chat_application.h"
#include "host/common/command_registry.h"
#include "host/discord/http_client.h"
#include "host/discord/http_message.h"
#include "host/discord/settings.h"
#include "host/discord/signature.h"

namespace deckhand::discord {

// How far a request's signed timestamp may be from the bot's clock: an older request replayed
// is refused.
inline constexpr std::int64_t kMostClockSkewSeconds = 300;
// Discord's bound on a message's text, in characters, and the most messages one command sends.
inline constexpr std::size_t kMessageCharacters = 2000;
inline constexpr std::size_t kMostMessages = 5;

// A command the game is to answer, with what its replies need.
struct PendingCommand {
  host::ChatRequest request;
  std::string application_id;  // whose webhook the interaction's replies go through
  std::string token;           // the interaction's, for its webhook
  const host::ChatCommandInfo* info = nullptr;  // the command, as the game will read it
  std::string deck;                             // the deck "@DECK" named, for a deal's button
};

// What the endpoint makes of one request.
struct Received {
  std::optional<HttpResponse> response;   // answered now: a refusal, a PING, autocomplete, help
  std::optional<PendingCommand> command;  // else: the game's turn
};

// One Discord message of a reply.
struct DiscordMessage {
  std::string content;
  bool ephemeral = false;      // only the asker sees it
  std::string button_command;  // when set, a button that plays this command ("hand@tarot")
  std::string button_label;
};

class InteractionEndpoint {
 public:
  // `modes`: the mode table's names in UTF-8, offered by autocomplete. `game` answers help at
  // once, from the server's thread (host::ChatApplication::AnswerAtOnce).
  InteractionEndpoint(const DiscordSettings& settings, SignatureCheck signatures,
                      std::vector<std::string> modes, const host::ChatApplication& game);

  // `now`: seconds since 1970, for the signed timestamp.
  Received Receive(const HttpRequest& request, std::int64_t now) const;

  // The game's answer as messages: the asker's own lines first (ephemeral) when there are any,
  // else the place's; the rest after. Lines to other players are left to the hand button.
  std::vector<DiscordMessage> Messages(const PendingCommand& command,
                                       const host::ChatAnswer& answer) const;
  // The answer of type 4 that carries `message`.
  static HttpResponse MessageResponse(const DiscordMessage& message);
  // Discord's "thinking" answer (type 5), only the asker seeing it and what replaces it.
  static HttpResponse DeferredResponse();
  // The webhook calls that send `messages`: after a deferred answer, the first replaces it.
  std::vector<ClientRequest> WebhookCalls(const PendingCommand& command,
                                          const std::vector<DiscordMessage>& messages,
                                          bool deferred) const;

 private:
  Received Interaction(const nlohmann::json& interaction) const;
  Received Command(const nlohmann::json& interaction, std::string text,
                   std::vector<host::ChatParty> named) const;
  HttpResponse Autocomplete(const nlohmann::json& data) const;

  const DiscordSettings* settings_;
  SignatureCheck signatures_;
  std::vector<std::string> modes_;
  const host::ChatApplication* game_;
};

// An answer of `status` with a short JSON body saying why.
HttpResponse Refusal(int status, std::string_view reason);

}  // namespace deckhand::discord
