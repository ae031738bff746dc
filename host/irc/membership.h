// Who is in the bot's channels and with what status, followed from the server's lines: the
// PREFIX and CHANMODES of its 005, NAMES, JOIN, PART, KICK, QUIT, NICK and MODE, and the
// services account of each member where the server tells it (extended-join, account-tag,
// account-notify). Names are wire bytes, compared folded.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/irc/names.h"

namespace deckhand::irc {

class Membership {
 public:
  // Most members kept per channel; a bigger channel's further members count as outside.
  static constexpr std::size_t kMaxMembers = 20000;

  // 005 tokens: "PREFIX=(qaohv)~&@%+" and "CHANMODES=beI,k,l,imnpst" values.
  void SetPrefix(std::string_view value);
  void SetChannelModes(std::string_view value);
  // The server's CASEMAPPING: names are compared as it compares them.
  void SetCaseMapping(CaseMapping mapping);
  CaseMapping case_mapping() const { return mapping_; }

  // The bot itself joined (the list starts empty; NAMES fills it) or left a channel.
  void Joined(std::string_view channel);
  void Left(std::string_view channel);
  bool IsJoined(std::string_view channel) const;

  // One 353 line's names ("@alice +bob carol", several symbols with multi-prefix).
  void AddNames(std::string_view channel, std::string_view names);
  void Join(std::string_view channel, std::string_view nick);
  // PART or KICK.
  void Leave(std::string_view channel, std::string_view nick);
  void Quit(std::string_view nick);
  void Rename(std::string_view old_nick, std::string_view new_nick);
  // MODE <channel> <modes> <args...>: `params` from the modes on.
  void Mode(std::string_view channel, const std::vector<std::string>& params);
  // The services account of a nick; "*" or empty for none.
  void SetAccount(std::string_view nick, std::string_view account);

  bool IsIn(std::string_view channel, std::string_view nick) const;
  // Whether `nick` is in any of the bot's channels.
  bool IsAnywhere(std::string_view nick) const;
  // The channel's members, folded under the server's case mapping.
  std::vector<std::string> FoldedMembers(std::string_view channel) const;
  // True when the member holds `symbol` ('@', '+') or a status above it.
  bool HasAtLeast(std::string_view channel, std::string_view nick, char symbol) const;
  std::optional<std::string> Account(std::string_view nick) const;
  // The member of `channel` logged in as `account`, if any.
  bool AccountIn(std::string_view channel, std::string_view account) const;

 private:
  struct Member {
    std::string symbols;  // status prefixes held, as PREFIX writes them
  };
  using Members = std::map<std::string, Member>;  // by folded nick
  Members* Find(std::string_view channel);
  const Members* Find(std::string_view channel) const;
  std::size_t Rank(char symbol) const;  // 0 is highest; npos for no status
  void Forget(std::string_view nick);   // its account, once it is in no channel
  std::string Fold(std::string_view name) const;

  CaseMapping mapping_ = CaseMapping::kRfc1459;
  std::string modes_ = "ov";
  std::string symbols_ = "@+";
  std::string list_modes_ = "beI";               // CHANMODES A: always a parameter
  std::string key_modes_ = "k";                  // B: always a parameter
  std::string limit_modes_ = "l";                // C: a parameter when set
  std::map<std::string, Members> channels_;      // by folded channel
  std::map<std::string, std::string> accounts_;  // folded nick -> account
};

}  // namespace deckhand::irc
