// The bot's own lasting state, in a file of its own in the data directory beside the library's
// save file: who owns each channel's deck, which player holds which private deck, and the key
// each player's hands are kept under in the save file.
//
// Private decks live in the save file under targets of the bot's choosing ("~deck1",
// "~deck2"...), never under the player's nick: there are at most `private_decks` of them, a
// player who has dealt one keeps it, the oldest unused is given to a newcomer when all are
// taken, and one unused for `private_deck_days` is let go. The save file's private entries so
// stay bounded, and two players whose nicks the library would write alike never share one. A
// slot given to another player is emptied first (the game's business).
//
// Players are kept by the id the chat gives them (an account, a connection followed across nick
// changes), never by nick, and play at the table under keys of the bot's choosing ("~1", "~2"...,
// ASCII, never given twice): any nick has a hand of its own, and whoever takes a nick later holds
// nothing of its earlier holder's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::host {

// Whoever dealt a deck of a place (or was handed it) is its dealer while they are there, and for
// a while after they leave, so that a reconnect or a netsplit does not hand the deck to anyone.
struct DeckOwner {
  std::string key;   // the owner's player id, as the chat host gives it
  std::string nick;  // as the owner was last seen, for refusals
  // When the owner was last seen leaving the place (seconds since 1970); 0 while they are there.
  std::int64_t left_at = 0;
};

// Why a player's private deck went.
enum class DropReason { kUnused, kFull };

struct PrivateTarget {
  std::string target;                 // the library's target ("~deck3"); empty for none
  std::optional<DropReason> dropped;  // the player's deck went since they last played
  bool fresh = false;                 // given just now: Unassign it again if the deal fails
};

class BotState {
 public:
  // `path` empty: kept in memory only.
  BotState(std::string path, std::size_t private_decks, double private_deck_days);

  // Reads the file; a missing one is an empty state. False and `error` for a file that is not a
  // regular file of a sane size.
  bool Load(std::string* error);
  // Writes the file when something changed since the last write (a new file renamed over it).
  void Save();

  // The owner of `deck` (empty: the main deck; a named deck's name folded) at `place` (its id).
  const DeckOwner* Owner(std::string_view place, std::string_view deck) const;
  void SetOwner(std::string_view place, std::string_view deck, DeckOwner owner);
  void ClearOwner(std::string_view place, std::string_view deck);
  // The player left the place at `now`: the decks they own there start their grace.
  void OwnerLeft(std::string_view place, std::string_view player, std::int64_t now);
  // Ends the grace of the owners at `place` who are `present` again, and lets go of those gone
  // for `grace_seconds` by `now`.
  void LapseAbsentOwners(std::string_view place, const std::vector<std::string>& present,
                         std::int64_t now, std::int64_t grace_seconds);
  // Follows an owner known by nick to its new nick.
  void RenameOwner(std::string_view old_key, const DeckOwner& renamed);

  // The target of `player`'s private deck at `now` (seconds since 1970). With `deal`, a player
  // without one is given one.
  PrivateTarget ForPlayer(const std::string& player, bool deal, std::int64_t now);
  // Takes back a slot given for a deal that dealt nothing.
  void Unassign(const std::string& player);
  std::size_t private_decks() const { return by_player_.size(); }

  // The key `player` (an id) plays under at the library's table, given now when they have none;
  // `name` (when not empty) is kept as the name to show for them.
  const std::string& TableKey(const std::string& player, std::string_view name);
  // The player a key was given to; nullptr for a key of no one known.
  const std::string* PlayerOfKey(std::string_view key) const;
  // The name last seen of a player; empty for one not known.
  std::string NameOf(const std::string& player) const;

 private:
  struct Slot {
    std::string player;  // empty: free
    std::int64_t last_used = 0;
  };
  struct TablePlayer {
    std::string key;
    std::string name;
    std::uint64_t seen = 0;  // when last played or named, in calls of TableKey
  };
  void Expire(std::int64_t now);
  void LoadPlayer(const std::string& key, const std::string& player, const std::string& name);
  void ForgetLongestUnseen();
  void Release(std::size_t slot, DropReason reason);

  std::string path_;
  std::size_t capacity_;
  std::int64_t keep_seconds_;
  std::map<std::pair<std::string, std::string>, DeckOwner> owners_;  // by place and deck
  std::vector<Slot> slots_;  // slot i is the target "~deck<i+1>"
  std::map<std::string, std::size_t> by_player_;
  std::deque<std::pair<std::string, DropReason>> dropped_;  // to tell, oldest first
  std::map<std::string, TablePlayer> players_;              // by player id
  std::map<std::string, std::string> by_key_;               // key -> player id
  std::uint64_t next_key_ = 0;                              // the last key's number
  std::uint64_t seen_ = 0;
  bool dirty_ = false;
};

}  // namespace deckhand::host
