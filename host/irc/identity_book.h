// Who a player is when the server tells no services account: the connection the bot has
// followed since it first saw it. A connection is named after the nick and user@host it first
// showed ("conn:alice ~a@host"); a nick change keeps the name, and the book remembers under
// which nick and user@host it goes now, in a file of its own in the data directory, so that the
// player who comes back (after a quit, a netsplit or a restart of the bot) with the nick they
// last had, from the same user@host, is the same player, and anyone else is someone new.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace deckhand::irc {

class IdentityBook {
 public:
  // Renamed connections kept; past it the one renamed longest ago is forgotten (its player, back
  // under that nick, is taken for a new one).
  static constexpr std::size_t kMaxRenamed = 10000;

  // `path` empty: kept in memory only.
  explicit IdentityBook(std::string path = "") : path_(std::move(path)) {}

  // Reads the file; a missing one is an empty book. False and `error` for one that is not a
  // regular file of a sane size.
  bool Load(std::string* error);

  // The identity of a connection that goes by `folded_nick` from `user_host`.
  std::string Identify(std::string_view folded_nick, std::string_view user_host) const;
  // The connection known as `id` goes by `folded_nick` now (written to the file at once).
  void Renamed(const std::string& id, std::string_view folded_nick, std::string_view user_host);

 private:
  struct Alias {
    std::string id;
    std::uint64_t order = 0;  // when it was renamed, in renames
  };
  static std::string Key(std::string_view folded_nick, std::string_view user_host);
  void Save() const;

  std::string path_;
  std::map<std::string, Alias> renamed_;  // by "folded_nick user@host"
  std::uint64_t renames_ = 0;
};

}  // namespace deckhand::irc
