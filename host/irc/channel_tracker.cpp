#include "host/irc/channel_tracker.h"

#include <algorithm>

#include "host/common/log.h"
#include "host/irc/connection.h"
#include "host/irc/irc_numerics.h"
#include "host/irc/names.h"

namespace deckhand::irc {
namespace {

using Clock = std::chrono::steady_clock;

Clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

bool IsOneOf(std::string_view command, std::initializer_list<std::string_view> codes) {
  return std::find(codes.begin(), codes.end(), command) != codes.end();
}

// Players who left, remembered so that lines still waiting for them wait for them.
constexpr std::size_t kMaxDeparted = 256;
// Marks the bot's own WHOX replies.
constexpr std::string_view kWhoToken = "152";
constexpr std::string_view kAccountPrefix = "account:";

// The "user@host" of a "nick!user@host" prefix; empty when it shows none.
std::string_view UserHostOf(std::string_view prefix) {
  std::size_t bang = prefix.find('!');
  return bang == std::string_view::npos ? std::string_view() : prefix.substr(bang + 1);
}

}  // namespace

ChannelTracker::ChannelTracker(const BotConfig& config, const host::WireCodec& codec,
                               std::vector<WireChannel> channels, IdentityBook& book)
    : config_(config), codec_(codec), channels_(std::move(channels)), book_(&book) {}

void ChannelTracker::JoinAll(WireOutput& out) {
  for (const WireChannel& channel : channels_) {
    if (!banned_.contains(Fold(channel.name))) Join(channel, out);
  }
}

void ChannelTracker::Receive(const IrcMessage& message, std::string_view own_nick,
                             Clock::time_point now, WireOutput& out,
                             std::vector<MemberChange>& changes) {
  const std::string& command = message.command;
  const std::vector<std::string>& params = message.params;
  for (const auto& [tag, value] : message.tags) {
    if (tag == "account") members_.SetAccount(NickOf(message.prefix), value);
  }
  bool from_me = Same(NickOf(message.prefix), own_nick);
  if (!from_me) See(message.prefix);
  // Heard from again, by nick and user@host (a private message): that nick is theirs.
  if (command == "PRIVMSG" && !from_me) std::erase(departed_, SenderId(message));
  using namespace numeric;
  if (command == kSupport) {
    OnSupport(message);
  } else if (command == kNamesReply) {
    // 353 <nick> <symbol> <channel> :<names>
    if (params.size() >= 4) members_.AddNames(params[2], params[3]);
  } else if (command == "JOIN") {
    OnJoin(message, from_me, out);
  } else if (command == "PART") {
    OnPart(message, from_me, changes);
  } else if (command == "KICK") {
    OnKick(message, own_nick, now, changes);
  } else if (command == "QUIT") {
    OnQuit(message, changes);
  } else if (command == "NICK") {
    OnNick(message, from_me, changes);
  } else if (command == "MODE") {
    if (params.size() >= 2) {
      members_.Mode(params[0], std::vector<std::string>(params.begin() + 1, params.end()));
    }
  } else if (command == "INVITE") {
    OnInvite(message, out);
  } else if (command == "ACCOUNT" && !params.empty()) {
    OnAccount(message, changes);
  } else if (command == kWhoReply || command == kWhoxReply) {
    OnWhoReply(message);
  } else if (IsOneOf(command, {kNoSuchChannel, kTooManyChannels, kChannelIsFull, kInviteOnlyChannel,
                               kBannedFromChannel, kBadChannelKey, kNeedRegisteredNick})) {
    OnJoinRefused(message, now);
  }
}

void ChannelTracker::OnSupport(const IrcMessage& message) {
  // 005 <nick> TOKEN TOKEN ... :are supported by this server
  for (std::size_t i = 1; i + 1 < message.params.size(); ++i) {
    std::string_view token = message.params[i];
    std::size_t equals = token.find('=');
    std::string_view name = token.substr(0, equals);
    std::string_view value = equals == std::string_view::npos ? "" : token.substr(equals + 1);
    if (name == "PREFIX") {
      members_.SetPrefix(value);
    } else if (name == "CHANMODES") {
      members_.SetChannelModes(value);
    } else if (name == "CASEMAPPING") {
      members_.SetCaseMapping(ParseCaseMapping(value));
      std::map<std::string, Connection> refolded;
      for (auto& [nick, connection] : connections_) {
        refolded.emplace(Fold(connection.nick), std::move(connection));
      }
      connections_ = std::move(refolded);
    } else if (name == "WHOX") {
      whox_ = true;
    }
  }
}

void ChannelTracker::OnJoin(const IrcMessage& message, bool me, WireOutput& out) {
  if (message.params.empty()) return;
  const std::string& channel = message.params[0];
  std::string_view nick = NickOf(message.prefix);
  if (me) {
    if (FindChannel(channel) == nullptr) return;
    members_.Joined(channel);
    host::Log(host::LogLevel::kInfo, "joined " + Shown(channel));
    // NAMES tells the nicks only: who holds each, the server is asked.
    out.Send("WHO " + channel + (whox_ ? " %tnuhar," + std::string(kWhoToken) : std::string()));
    return;
  }
  members_.Join(channel, nick);
  See(message.prefix);
  // extended-join: JOIN <channel> <account> :<realname>
  if (message.params.size() >= 3) members_.SetAccount(nick, message.params[1]);
}

void ChannelTracker::OnAccount(const IrcMessage& message, std::vector<MemberChange>& changes) {
  std::string_view nick = NickOf(message.prefix);
  std::string before = PlayerId(nick);
  members_.SetAccount(nick, message.params[0]);
  std::string after = PlayerId(nick);
  if (!before.empty() && !after.empty() && before != after) {
    changes.push_back({"", std::move(before), std::move(after), std::string(nick)});
  }
}

void ChannelTracker::OnWhoReply(const IrcMessage& message) {
  const std::vector<std::string>& params = message.params;
  if (message.command == numeric::kWhoReply) {
    // 352 <me> <channel> <user> <host> <server> <nick> <flags> :<hops> <realname>
    if (params.size() < 6) return;
    See(params[5] + "!" + params[2] + "@" + params[3]);
    return;
  }
  // 354 <me> <token> <user> <host> <nick> <account> :<realname>, for "%tnuhar"
  if (params.size() < 6 || params[1] != kWhoToken) return;
  See(params[4] + "!" + params[2] + "@" + params[3]);
  members_.SetAccount(params[4], params[5] == "0" ? "*" : std::string_view(params[5]));
}

void ChannelTracker::See(std::string_view prefix) {
  std::string_view nick = NickOf(prefix);
  std::string_view user_host = UserHostOf(prefix);
  if (user_host.empty() || !members_.IsAnywhere(nick)) return;
  std::string folded = Fold(nick);
  auto held = connections_.find(folded);
  if (held == connections_.end()) {
    connections_[folded] = {std::string(nick), std::string(user_host),
                            book_->Identify(folded, user_host)};
    return;
  }
  // The same connection shown under another host (a cloak set after a login): found again
  // there after a reconnect.
  if (held->second.user_host == user_host) return;
  held->second.user_host = user_host;
  book_->Renamed(held->second.id, folded, user_host);
}

void ChannelTracker::ForgetGone() {
  std::erase_if(connections_,
                [this](const auto& entry) { return !members_.IsAnywhere(entry.second.nick); });
}

void ChannelTracker::OnPart(const IrcMessage& message, bool me,
                            std::vector<MemberChange>& changes) {
  if (message.params.empty()) return;
  const std::string& channel = message.params[0];
  if (me) {
    members_.Left(channel);
    return ForgetGone();
  }
  std::string_view nick = NickOf(message.prefix);
  Leaving(channel, nick, changes);
  members_.Leave(channel, nick);
  ForgetGone();
}

void ChannelTracker::OnKick(const IrcMessage& message, std::string_view own_nick,
                            Clock::time_point now, std::vector<MemberChange>& changes) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2) return;
  if (!Same(params[1], own_nick)) {
    Leaving(params[0], params[1], changes);
    members_.Leave(params[0], params[1]);
    ForgetGone();
    return;
  }
  members_.Left(params[0]);
  ForgetGone();
  std::string reason = params.size() > 2 ? Shown(params.back()) : "";
  host::Log(host::LogLevel::kWarning,
            "kicked from " + Shown(params[0]) + " by " + Shown(NickOf(message.prefix)) + " (" +
                reason + "); rejoining in " + FormatSeconds(config_.rejoin_delay) + " s");
  if (FindChannel(params[0]) == nullptr) return;
  // One rejoin waits per channel, however many KICKs came.
  rejoins_.try_emplace(Fold(params[0]), now + Seconds(config_.rejoin_delay));
}

void ChannelTracker::OnQuit(const IrcMessage& message, std::vector<MemberChange>& changes) {
  std::string_view nick = NickOf(message.prefix);
  for (const WireChannel& channel : channels_) {
    if (members_.IsIn(channel.name, nick)) Leaving(channel.name, nick, changes);
  }
  members_.Quit(nick);
  ForgetGone();
}

void ChannelTracker::OnNick(const IrcMessage& message, bool me,
                            std::vector<MemberChange>& changes) {
  if (message.params.empty() || me) return;
  std::string_view old_nick = NickOf(message.prefix);
  const std::string& new_nick = message.params[0];
  std::string before = PlayerId(old_nick);
  members_.Rename(old_nick, new_nick);
  // The connection keeps its identity under the new nick, and is found by it after a quit.
  auto held = connections_.find(Fold(old_nick));
  if (held != connections_.end()) {
    Connection connection = std::move(held->second);
    connections_.erase(held);
    connection.nick = new_nick;
    book_->Renamed(connection.id, Fold(new_nick), connection.user_host);
    connections_[Fold(new_nick)] = std::move(connection);
  }
  changes.push_back({"", std::move(before), PlayerId(new_nick), new_nick});
}

void ChannelTracker::OnInvite(const IrcMessage& message, WireOutput& out) {
  if (message.params.size() < 2) return;
  const WireChannel* channel = FindChannel(message.params[1]);
  if (channel == nullptr) return;
  banned_.erase(Fold(channel->name));
  host::Log(host::LogLevel::kInfo,
            "invited to " + Shown(channel->name) + " by " + Shown(NickOf(message.prefix)));
  Join(*channel, out);
}

void ChannelTracker::OnJoinRefused(const IrcMessage& message, Clock::time_point now) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2) return;
  const WireChannel* channel = FindChannel(params[1]);
  std::string why = params.size() > 2 ? Shown(params.back()) : message.command;
  if (message.command == numeric::kBannedFromChannel && channel != nullptr) {
    banned_[Fold(channel->name)] = now + Seconds(config_.ban_retry);
    host::Log(host::LogLevel::kWarning,
              "banned from " + Shown(params[1]) + " (" + why + "): trying again in " +
                  FormatSeconds(config_.ban_retry) + " s or when invited");
    return;
  }
  host::Log(host::LogLevel::kWarning, "cannot join " + Shown(params[1]) + ": " + why);
}

void ChannelTracker::Leaving(std::string_view channel, std::string_view nick,
                             std::vector<MemberChange>& changes) {
  std::string id = PlayerId(nick);
  if (!id.empty()) {
    if (departed_.size() >= kMaxDeparted) departed_.pop_front();
    departed_.push_back(id);
  }
  changes.push_back({std::string(channel), std::move(id), "", ""});
}

bool ChannelTracker::Departed(std::string_view id) const {
  return std::find(departed_.begin(), departed_.end(), id) != departed_.end();
}

void ChannelTracker::Tick(Clock::time_point now, bool registered, WireOutput& out) {
  for (auto rejoin = rejoins_.begin(); rejoin != rejoins_.end();) {
    if (rejoin->second > now) {
      ++rejoin;
      continue;
    }
    if (const WireChannel* channel = FindChannel(rejoin->first);
        channel && !banned_.contains(rejoin->first)) {
      Join(*channel, out);
    }
    rejoin = rejoins_.erase(rejoin);
  }
  for (auto ban = banned_.begin(); ban != banned_.end();) {
    if (ban->second > now || !registered) {
      ++ban;
      continue;
    }
    if (const WireChannel* channel = FindChannel(ban->first)) Join(*channel, out);
    ban = banned_.erase(ban);
  }
}

Clock::time_point ChannelTracker::NextWake(Clock::time_point wake) const {
  for (const auto& [name, when] : rejoins_) wake = std::min(wake, when);
  for (const auto& [name, when] : banned_) wake = std::min(wake, when);
  return wake;
}

std::string ChannelTracker::PlayerId(std::string_view nick) const {
  if (std::optional<std::string> account = members_.Account(nick)) {
    return std::string(kAccountPrefix) + *account;
  }
  auto held = connections_.find(Fold(nick));
  return held == connections_.end() ? std::string() : held->second.id;
}

std::string ChannelTracker::SenderId(const IrcMessage& message) const {
  for (const auto& [tag, value] : message.tags) {
    if (tag == "account" && !value.empty() && value != "*")
      return std::string(kAccountPrefix) + value;
  }
  std::string_view nick = NickOf(message.prefix);
  std::string member = PlayerId(nick);
  if (!member.empty()) return member;
  std::string_view user_host = UserHostOf(message.prefix);
  return user_host.empty() ? std::string() : book_->Identify(Fold(nick), user_host);
}

std::optional<std::string> ChannelTracker::CurrentNick(std::string_view id) const {
  for (const auto& [folded, connection] : connections_) {
    if (PlayerId(folded) == id) return connection.nick;
  }
  return std::nullopt;
}

std::string ChannelTracker::Written(std::string_view nick) const {
  auto held = connections_.find(Fold(nick));
  return held == connections_.end() ? std::string(nick) : held->second.nick;
}

bool ChannelTracker::IsChannel(std::string_view target) const {
  return !target.empty() && std::string_view("#&+!").find(target[0]) != std::string_view::npos;
}

void ChannelTracker::Join(const WireChannel& channel, WireOutput& out) const {
  out.SendPaced("JOIN " + channel.name + (channel.key.empty() ? "" : " " + channel.key));
}

const WireChannel* ChannelTracker::FindChannel(std::string_view name) const {
  for (const WireChannel& channel : channels_) {
    if (Same(channel.name, name)) return &channel;
  }
  return nullptr;
}

std::string ChannelTracker::Shown(std::string_view wire) const { return irc::Shown(codec_, wire); }

}  // namespace deckhand::irc
