// A card game as a chat host drives it: chat commands in, lines out, each addressed to the place
// or to one player. Nothing here knows a chat protocol: an IRC host, or a host for another chat,
// turns what its users send into ChatRequests and sends the answer's lines in its own framing
// (cutting a long line to fit the protocol's limit, say, repeating the line's label before each
// piece).
//
// Every text is UTF-8. Ids are opaque to the game: it compares them, keeps them in its state
// file, and never shows them.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::host {

// A player or a place as the chat knows it.
struct ChatParty {
  // Stable across names: a player's services account on IRC, else the connection followed since
  // it was first seen, a user id on other chats; a place's folded channel name or channel id.
  // Empty for a player's private table, and for a member whom the chat cannot yet tell apart
  // from whoever held the name before (who may then be named in no command).
  std::string id;
  std::string name;  // as shown, and as players name it in commands
};

// How much say the chat gives the sender at the place, as the game's dealer rules read it:
// IRC's channel operators and voiced members, or the like.
enum class Standing { kMember, kVoiced, kOperator };

struct ChatRequest {
  ChatParty player;
  // Where it was sent: a channel, or (empty id) the player's own private table.
  ChatParty place;
  std::string text;  // the whole message, as typed, the command prefix included
  Standing standing = Standing::kMember;
  // Who is at the place now, the sender included: whom a deal or a give may name, and whether
  // the deck's owner is still there. Empty at a private table.
  std::vector<ChatParty> present;
  // Whether `present` is everyone at the place. A chat that names only those the command names
  // (it tells no membership) leaves a deck's owner its owner until someone else deals there.
  bool present_complete = true;
  // Whether two names are the same player's, as the chat compares names (letter case). Empty:
  // byte for byte.
  std::function<bool(std::string_view, std::string_view)> same_name;
  // How many lines to players the host sends for one command within the time it allows, and
  // how many bytes of a text's cards one such line carries: a deal that needs more is refused
  // rather than holding everyone's replies back for minutes. 0: no bound.
  std::size_t most_private_lines = 0;
  std::size_t private_line_bytes = 0;

  bool at_private_table() const { return place.id.empty(); }
};

struct AddressedLine {
  bool to_place = true;  // else to `player` alone
  std::string player;    // the receiver's name, for a line to one player
  // Goes before the text, and before every piece when the host cuts it: "[#poker] " on a line
  // told privately about a channel.
  std::string label;
  std::string text;
  bool secret = false;  // shows cards only the receiver may see: a host never logs it
  // The receiver's id, for a line to one player: a host sends it to whoever has that id, by
  // the name they go by then, and to no one else who has taken the name since.
  std::string player_id = {};
};

struct ChatAnswer {
  std::vector<AddressedLine> lines;  // none: the message was no command for the game
  bool dealt = false;                // a deck was dealt on the place's main deck
  std::string silent_reason;         // for the log, when no line says why nothing happened
};

// One game behind any number of chats. A host calls it from one thread at a time, in the order
// things happened in the chat: a command, then a player leaving, then the next command.
class ChatApplication {
 public:
  virtual ~ChatApplication() = default;

  // The answer to one message.
  virtual ChatAnswer Answer(const ChatRequest& request) = 0;
  // The answer to a message that needs neither the cards nor the game's state (help), or
  // nullopt. Safe to call from another thread while Answer runs, so that a host can answer it
  // at once instead of behind a command that waits for the save file. Answer gives the same.
  virtual std::optional<ChatAnswer> AnswerAtOnce(const ChatRequest& request) const = 0;
  // The player left the place (or the chat altogether): what they held there lapses, such as
  // owning the place's deck.
  virtual void Left(std::string_view place_id, std::string_view player_id) = 0;
  // The player goes by another name, or another id from now on (a login to an account).
  virtual void Renamed(std::string_view old_player_id, const ChatParty& player) = 0;
};

}  // namespace deckhand::host
