// Fuzzes deckhand-discord's interactions endpoint on arbitrary request bodies, each signed with
// a key made at start so that everything past the signature is reached. Properties:
//  - no body crashes it or throws out of it; every answer is one of the statuses it gives;
//  - a command for the game carries no control character (which would end it early, or reach a
//    log), and names each player it names by a name without spaces or commas;
//  - the body's text, as the game's answer, becomes at most five messages of at most 2000
//    characters each.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/discord/interactions.h"
#include "support/signing_key.h"

namespace {

using namespace deckhand::discord;
using deckhand::host::ChatAnswer;
using deckhand::host::ChatRequest;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

// The game's side: help is never answered at once here, so every command reaches the check.
class NoGame : public deckhand::host::ChatApplication {
 public:
  ChatAnswer Answer(const ChatRequest&) override { return {}; }
  std::optional<ChatAnswer> AnswerAtOnce(const ChatRequest&) const override { return std::nullopt; }
  void Left(std::string_view, std::string_view) override {}
  void Renamed(std::string_view, const deckhand::host::ChatParty&) override {}
};

struct Endpoint {
  deckhand::testing::SigningKey key;
  DiscordSettings settings;
  NoGame game;
  std::optional<InteractionEndpoint> endpoint;

  Endpoint() {
    endpoint.emplace(settings, *SignatureCheck::FromHex(key.PublicHex()),
                     std::vector<std::string>{"trump", "tarot"}, game);
  }
};

void CheckCommand(const PendingCommand& command) {
  for (char c : command.request.text) {
    if (static_cast<unsigned char>(c) < 0x20) Fail("a control character in a command");
  }
  for (const deckhand::host::ChatParty& party : command.request.present) {
    if (party.name.find_first_of(" ,") != std::string::npos) Fail("a name a command cannot hold");
  }
}

void CheckMessages(const Endpoint& fixture, const PendingCommand& command,
                   const std::string& text) {
  ChatAnswer answer;
  answer.lines.push_back({true, "", "", text, false});
  answer.lines.push_back(
      {false, command.request.player.name, "", text + text, true, command.request.player.id});
  std::vector<DiscordMessage> messages = fixture.endpoint->Messages(command, answer);
  if (messages.empty() || messages.size() > kMostMessages) Fail("a reply of too many messages");
  for (const DiscordMessage& message : messages) {
    std::size_t characters = 0;
    for (char c : message.content) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (characters > kMessageCharacters) Fail("a message longer than Discord takes");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Endpoint fixture;
  std::string body(reinterpret_cast<const char*>(data), size);
  std::string timestamp = std::to_string(std::time(nullptr));
  HttpRequest request{"POST",
                      "/interactions",
                      {{"x-signature-ed25519", fixture.key.Sign(timestamp + body)},
                       {"x-signature-timestamp", timestamp}},
                      body};
  Received received = fixture.endpoint->Receive(request, std::time(nullptr));
  if (received.response) {
    int status = received.response->status;
    if (status != 200 && status != 400) Fail("a signed request refused as unsigned");
    return 0;
  }
  if (!received.command) Fail("neither an answer nor a command");
  CheckCommand(*received.command);
  CheckMessages(fixture, *received.command, body);
  return 0;
}
