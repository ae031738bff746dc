#include "host/irc/session.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "host/common/ascii.h"
#include "host/common/command_registry.h"
#include "host/common/table_chat.h"
#include "host/irc/irc_numerics.h"
#include "host/irc/log.h"

namespace deckhand::irc {
namespace {

// Nicks up to this long are accepted by every server; a longer configured nick sets its own.
constexpr std::size_t kCommonNickLength = 9;
// Longest piece of an AUTHENTICATE line's payload.
constexpr std::size_t kSaslChunk = 400;
constexpr int kMaxNickAttempts = 20;
// Jobs waiting for the library, all senders together; past it every sender is busy.
constexpr std::size_t kMaxPendingJobs = 200;
// A command not yet answered counts as this many lines toward its sender's bound (a reply is at
// most 4 KB, a dozen lines), so that a burst read in one go cannot all slip in before the
// first answer shows how long the replies are.
constexpr std::size_t kLinesPerPendingJob = 5;
// Lines held for a channel the bot is out of (or across a reconnect) go after this long.
constexpr std::chrono::minutes kHoldLimit{10};
// CAP LS lines of one listing; a server that goes on is taken as done.
constexpr int kMaxCapLines = 64;
// How often a bot that had to take another nick asks whether its own is free.
constexpr std::chrono::seconds kNickRegainInterval{60};
// Capabilities asked for when offered: statuses all shown, accounts told.
constexpr std::string_view kWantedCaps[] = {"multi-prefix", "extended-join", "account-tag",
                                            "account-notify"};

using Clock = std::chrono::steady_clock;

Clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

char FoldCase(char c) {
  switch (c) {
    case '[':
      return '{';
    case ']':
      return '}';
    case '\\':
      return '|';
    case '~':
      return '^';
    default:
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
}

std::string Base64(std::string_view bytes) {
  std::string encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                               reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<int>(bytes.size()));
  encoded.resize(static_cast<std::size_t>(length));
  return encoded;
}

bool IsOneOf(std::string_view command, std::initializer_list<std::string_view> codes) {
  return std::find(codes.begin(), codes.end(), command) != codes.end();
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return FoldCase(x) == FoldCase(y); });
}

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = FoldCase(c);
  return folded;
}

double BackoffSeconds(int failures, double initial, double maximum, double unit_random) {
  double delay = initial * std::pow(2.0, std::min(failures, 62));
  delay = std::min(delay, maximum);
  return delay - delay / 2 * unit_random;
}

std::string FormatSeconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

std::string NeverConnectedText(std::string_view server, int port, std::string_view reason,
                               int failures, double delay) {
  std::string where = std::string(server) + " port " + std::to_string(port);
  std::string again = "; trying again in " + FormatSeconds(delay) + " s";
  if (failures > 0) return "still cannot reach " + where + ": " + std::string(reason) + again;
  return "cannot reach the IRC server at " + where + ": " + std::string(reason) +
         ". Is a server running there? Check host and port under [server] in the settings, or"
         " --server and --port (to try the bot on this machine, start a local server such as"
         " ngircd)" +
         again;
}

std::vector<std::string> SaslPlainLines(std::string_view account, std::string_view password) {
  std::string credentials;
  credentials.append(account).append(1, '\0').append(account).append(1, '\0').append(password);
  std::string payload = Base64(credentials);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < payload.size(); at += kSaslChunk) {
    lines.push_back("AUTHENTICATE " + payload.substr(at, kSaslChunk));
  }
  // A payload that fills its last piece exactly is ended by an empty one.
  if (payload.size() % kSaslChunk == 0) lines.push_back("AUTHENTICATE +");
  return lines;
}

std::string WithoutSecrets(std::string_view line) {
  for (std::string_view secret : {"PASS ", "AUTHENTICATE "}) {
    if (line.starts_with(secret) && line != "AUTHENTICATE PLAIN") {
      return std::string(secret) + "(hidden)";
    }
  }
  if (line.starts_with("JOIN ")) {
    std::size_t key = line.find(' ', 5);
    if (key != std::string_view::npos) return std::string(line.substr(0, key)) + " (key hidden)";
  }
  return std::string(line);
}

namespace {

// The dealer rules of the settings, with channel names and nicks as the wire writes them.
std::map<std::string, DealerSetting> ChannelDealers(const BotConfig& config,
                                                    const WireCodec& codec) {
  std::map<std::string, DealerSetting> settings;
  WireCodec utf8(WireEncoding::kUtf8);
  auto wire = [&](const std::string& text) {
    return codec.ToWire(utf8.ToLibrary(text).value_or(text));
  };
  for (const auto& [channel, rule] : config.channel_dealers) {
    std::optional<DealerSetting> setting = ParseDealerSetting(rule);
    if (!setting) continue;
    for (std::string& nick : setting->nicks) nick = wire(nick);
    settings[FoldName(wire(channel))] = std::move(*setting);
  }
  return settings;
}

DealerSetting FallbackDealer(const BotConfig& config) {
  return ParseDealerSetting(config.dealer).value_or(DealerSetting{});
}

}  // namespace

IrcSession::IrcSession(const BotConfig& config, const WireCodec& codec,
                       std::vector<WireChannel> channels, SessionContext context,
                       Clock::time_point now)
    : config_(config),
      codec_(codec),
      channels_(std::move(channels)),
      nick_(config.nick),
      last_heard_(now),
      context_(std::move(context)),
      notices_(codec.encoding()),
      dealers_(members_, *context_.state, FallbackDealer(config), ChannelDealers(config, codec)),
      bucket_(config.flood_burst, config.flood_rate) {}

void IrcSession::Connected(Clock::time_point now) {
  now_ = now;
  last_heard_ = now;
  ping_sent_ = false;
  Urgent("CAP LS 302");
  if (!config_.server_password.empty()) Urgent("PASS " + config_.server_password);
  Urgent("NICK " + nick_);
  Urgent("USER " + config_.user + " 0 * :" + config_.realname);
}

SessionOutput IrcSession::TakeOutput() { return std::exchange(output_, {}); }

void IrcSession::Urgent(std::string line) {
  Log(LogLevel::kDebug, "> " + WithoutSecrets(line));
  output_.urgent.push_back(std::move(line));
}

void IrcSession::Drop(std::string reason) {
  if (!output_.drop) output_.drop = std::move(reason);
}

void IrcSession::Receive(std::string_view line, Clock::time_point now) {
  now_ = now;
  last_heard_ = now;
  ping_sent_ = false;
  // A CR or NUL inside a line (a sender prefix holding one) would be echoed into our own lines.
  if (line.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos) {
    Log(LogLevel::kWarning, "dropped a line from the server holding CR or NUL");
    return;
  }
  Log(LogLevel::kDebug, "< " + std::string(line));
  std::optional<IrcMessage> parsed = ParseIrcLine(line);
  if (!parsed) return;
  const IrcMessage& message = *parsed;
  const std::string& command = message.command;
  const std::vector<std::string>& params = message.params;
  for (const auto& [tag, value] : message.tags) {
    if (tag == "account") members_.SetAccount(NickOf(message.prefix), value);
  }
  using namespace numeric;
  if (command == "PING") {
    Urgent("PONG :" + (params.empty() ? std::string() : params.back()));
  } else if (command == "PRIVMSG") {
    OnChat(message, now);
  } else if (command == kWelcome) {
    OnRegistered(message);
  } else if (command == kSupport) {
    OnSupport(message);
  } else if (command == kNamesReply) {
    OnNames(message);
  } else if (command == "JOIN") {
    OnJoin(message);
  } else if (command == "PART") {
    OnPart(message);
  } else if (command == "KICK") {
    OnKick(message, now);
  } else if (command == "QUIT") {
    OnQuit(message);
  } else if (command == "MODE") {
    OnMode(message);
  } else if (command == "INVITE") {
    OnInvite(message);
  } else if (command == "ACCOUNT" && !params.empty()) {
    members_.SetAccount(NickOf(message.prefix), params[0]);
  } else if (IsOneOf(command, {kNoSuchChannel, kTooManyChannels, kChannelIsFull, kInviteOnlyChannel,
                               kBannedFromChannel, kBadChannelKey, kNeedRegisteredNick})) {
    OnJoinRefused(message, now);
  } else if (IsOneOf(command, {kErroneousNickname, kNicknameInUse, kUnavailableResource})) {
    OnNickRefused(message);
  } else if (command == kIsOn && registered_ && params.size() >= 2) {
    // Our own nick is free when ISON does not list it.
    std::string listed = " " + FoldName(params.back()) + " ";
    if (listed.find(" " + FoldName(config_.nick) + " ") == std::string::npos) {
      Urgent("NICK " + config_.nick);
    }
  } else if (command == "NICK") {
    OnNick(message);
  } else if (command == "CAP") {
    OnCap(message);
  } else if (command == "AUTHENTICATE") {
    if (!params.empty() && params[0] == "+") SendCredentials();
  } else if (command == kSaslSuccess) {
    Log(LogLevel::kInfo, "SASL login accepted");
    FinishCapabilities();
  } else if (IsOneOf(command, {kNickLocked, kSaslFailed, kSaslTooLong, kSaslAborted})) {
    OnSaslFailed(message);
  } else if (command == kCannotSendToChannel || command == "FAIL") {
    Log(LogLevel::kWarning, "the server refused a line: " + Shown(line));
  } else if (command == "ERROR") {
    Log(LogLevel::kWarning, "the server says: " + (params.empty() ? "" : Shown(params.back())));
  }
}

void IrcSession::OnRegistered(const IrcMessage& message) {
  registered_ = true;
  // The nick the server gave, whatever we asked for.
  if (!message.params.empty()) nick_ = message.params[0];
  Log(LogLevel::kInfo, "registered as " + Shown(nick_));
  for (const WireChannel& channel : channels_) {
    if (!banned_.contains(FoldName(channel.name))) Join(channel);
  }
}

void IrcSession::OnSupport(const IrcMessage& message) {
  // 005 <nick> TOKEN TOKEN ... :are supported by this server
  for (std::size_t i = 1; i + 1 < message.params.size() && !output_.stop; ++i) {
    std::string_view token = message.params[i];
    std::size_t equals = token.find('=');
    std::string_view name = token.substr(0, equals);
    std::string_view value = equals == std::string_view::npos ? "" : token.substr(equals + 1);
    if (name == "PREFIX") {
      members_.SetPrefix(value);
    } else if (name == "CHANMODES") {
      members_.SetChannelModes(value);
    } else if (name == "BOT" && value.size() == 1) {
      Urgent("MODE " + nick_ + " +" + std::string(value));
    } else if (name == "UTF8ONLY" && codec_.encoding() != WireEncoding::kUtf8) {
      Stop("the server takes only UTF-8, so encoding = " + config_.encoding +
           " cannot work there: set encoding = utf-8");
    }
  }
}

void IrcSession::OnNames(const IrcMessage& message) {
  // 353 <nick> <symbol> <channel> :<names>
  if (message.params.size() < 4) return;
  members_.AddNames(message.params[2], message.params[3]);
}

void IrcSession::OnNickRefused(const IrcMessage& message) {
  if (registered_) return;
  // "deckhand_", then "deckhand2", "deckhand3"...; cut to fit a short nick limit. A server that
  // refuses every one is left for a while rather than asked again and again at once.
  if (++nick_attempts_ > kMaxNickAttempts) return Drop("the server accepts none of our nicks");
  std::string suffix = nick_attempts_ == 1 ? "_" : std::to_string(nick_attempts_);
  std::size_t limit = std::max(kCommonNickLength, config_.nick.size());
  std::string base = config_.nick.substr(0, limit - std::min(limit, suffix.size()));
  std::string next = base + suffix;
  Log(LogLevel::kWarning,
      "the server refuses the nick " + Shown(nick_) + " (" +
          (message.command == numeric::kErroneousNickname ? "not allowed" : "in use") +
          "), trying " + Shown(next));
  nick_ = next;
  Urgent("NICK " + nick_);
}

void IrcSession::OnNick(const IrcMessage& message) {
  if (message.params.empty()) return;
  std::string_view old_nick = NickOf(message.prefix);
  const std::string& new_nick = message.params[0];
  if (IsMe(old_nick)) {
    Log(LogLevel::kInfo, "now known as " + Shown(new_nick));
    nick_ = new_nick;
    own_prefix_.clear();  // the next JOIN shows it again
    return;
  }
  DeckOwner before = OwnerIdentity(members_, old_nick);
  members_.Rename(old_nick, new_nick);
  context_.state->RenameOwner(before.key, OwnerIdentity(members_, new_nick));
  context_.state->Save();
}

void IrcSession::Join(const WireChannel& channel) {
  Urgent("JOIN " + channel.name + (channel.key.empty() ? "" : " " + channel.key));
}

void IrcSession::OnJoin(const IrcMessage& message) {
  if (message.params.empty()) return;
  if (!IsMe(NickOf(message.prefix))) return OnOtherJoin(message);
  own_prefix_ = message.prefix;
  if (FindChannel(message.params[0]) != nullptr) members_.Joined(message.params[0]);
  Log(LogLevel::kInfo, "joined " + Shown(message.params[0]));
}

void IrcSession::OnOtherJoin(const IrcMessage& message) {
  std::string_view nick = NickOf(message.prefix);
  members_.Join(message.params[0], nick);
  // extended-join: JOIN <channel> <account> :<realname>
  if (message.params.size() >= 3) members_.SetAccount(nick, message.params[1]);
}

void IrcSession::OnPart(const IrcMessage& message) {
  if (message.params.empty()) return;
  std::string_view nick = NickOf(message.prefix);
  if (IsMe(nick)) {
    members_.Left(message.params[0]);
    return;
  }
  OwnerLeft(message.params[0], nick);
  members_.Leave(message.params[0], nick);
}

void IrcSession::OnQuit(const IrcMessage& message) {
  std::string_view nick = NickOf(message.prefix);
  for (const WireChannel& channel : channels_) OwnerLeft(channel.name, nick);
  members_.Quit(nick);
}

// Ownership lapses when the owner leaves: whoever deals next owns the deck.
void IrcSession::OwnerLeft(std::string_view channel, std::string_view nick) {
  const DeckOwner* owner = dealers_.PresentOwner(channel);
  if (owner == nullptr || owner->key != OwnerIdentity(members_, nick).key) return;
  Log(LogLevel::kInfo,
      "the deck of " + Shown(channel) + " has no owner now: " + Shown(nick) + " left");
  context_.state->ClearOwner(FoldName(channel));
  context_.state->Save();
}

void IrcSession::OnMode(const IrcMessage& message) {
  if (message.params.size() < 2) return;
  members_.Mode(message.params[0],
                std::vector<std::string>(message.params.begin() + 1, message.params.end()));
}

void IrcSession::OnInvite(const IrcMessage& message) {
  if (message.params.size() < 2) return;
  WireChannel* channel = FindChannel(message.params[1]);
  if (channel == nullptr) return;
  banned_.erase(FoldName(channel->name));
  Log(LogLevel::kInfo,
      "invited to " + Shown(channel->name) + " by " + Shown(NickOf(message.prefix)));
  Join(*channel);
}

void IrcSession::OnKick(const IrcMessage& message, Clock::time_point now) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2) return;
  if (!IsMe(params[1])) {
    OwnerLeft(params[0], params[1]);
    members_.Leave(params[0], params[1]);
    return;
  }
  members_.Left(params[0]);
  std::string reason = params.size() > 2 ? Shown(params.back()) : "";
  Log(LogLevel::kWarning, "kicked from " + Shown(params[0]) + " by " +
                              Shown(NickOf(message.prefix)) + " (" + reason + "); rejoining in " +
                              FormatSeconds(config_.rejoin_delay) + " s");
  if (FindChannel(params[0]) == nullptr) return;
  // One rejoin waits per channel, however many KICKs came.
  rejoins_.try_emplace(FoldName(params[0]), now + Seconds(config_.rejoin_delay));
}

void IrcSession::OnJoinRefused(const IrcMessage& message, Clock::time_point now) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2) return;
  WireChannel* channel = FindChannel(params[1]);
  std::string why = params.size() > 2 ? Shown(params.back()) : message.command;
  if (message.command == numeric::kBannedFromChannel && channel != nullptr) {
    banned_[FoldName(channel->name)] = now + Seconds(config_.ban_retry);
    Log(LogLevel::kWarning, "banned from " + Shown(params[1]) + " (" + why + "): trying again in " +
                                FormatSeconds(config_.ban_retry) + " s or when invited");
    return;
  }
  Log(LogLevel::kWarning, "cannot join " + Shown(params[1]) + ": " + why);
}

void IrcSession::OnSaslFailed(const IrcMessage& message) {
  std::string why = message.params.empty() ? message.command : Shown(message.params.back());
  if (config_.sasl_required) {
    return Stop("SASL login refused (" + why +
                "); set sasl_required = false to go on without logging in");
  }
  Log(LogLevel::kError, "SASL login refused (" + why + "); going on without logging in");
  FinishCapabilities();
}

void IrcSession::Stop(std::string reason) {
  Log(LogLevel::kError, reason);
  Quit("deckhand-irc stopped: settings do not fit the server");
  Drop(std::move(reason));
  output_.stop = true;
}

std::string IrcSession::PlayerKey(const IrcMessage& message, std::string_view sender) const {
  for (const auto& [tag, value] : message.tags) {
    if (tag == "account" && !value.empty() && value != "*") return "account:" + value;
  }
  if (std::optional<std::string> account = members_.Account(sender)) return "account:" + *account;
  return "nick:" + FoldName(sender);
}

void IrcSession::OnChat(const IrcMessage& message, Clock::time_point) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2 || params[1].empty() || params[1][0] == '\x01') return;  // CTCP
  std::string_view sender = NickOf(message.prefix);
  if (sender.empty()) return;  // from the server itself: no one to answer
  std::optional<ChatCommand> command = ParseChatCommand(params[1], config_.prefix);
  if (!command) return;
  const std::string& where = params[0];
  bool in_channel = !IsMe(where);
  if (in_channel && (!members_.IsJoined(where) || !members_.IsIn(where, sender))) {
    Log(LogLevel::kInfo, "ignored a command at " + Shown(where) + " from " + Shown(sender) +
                             ", who is not in the channel");
    return;
  }
  std::string folded = FoldName(sender);
  if (Busy(folded)) {
    Log(LogLevel::kInfo, "no reply to " + Shown(sender) + ": replies for them are waiting");
    // Behind their replies, never ahead of anyone's.
    if (told_busy_.insert(folded).second) Tell(sender, "", config_.texts.busy, {}, false);
    return;
  }
  std::string label = in_channel ? "[" + where + "] " : "";
  if (command->info->id == host::CommandId::kHelp) return Help(sender, command->arguments);
  if (!command->hint.empty()) {
    Log(LogLevel::kInfo,
        "no reply to " + Shown(sender) + ": asked whether they meant " + Shown(command->hint));
    return Tell(sender, label, config_.texts.hint, {{"{hint}", config_.prefix + command->hint}});
  }
  if (command->info->id == host::CommandId::kPeek && !host::PeekCount(command->arguments)) {
    Log(LogLevel::kInfo, "no reply to " + Shown(sender) + ": a peek of a wrong count");
    return Tell(
        sender, label, config_.texts.peek_count,
        {{"{prefix}", ToWire(config_.prefix)}, {"{max}", std::to_string(host::kMaxPeekCount)}});
  }
  if (in_channel && host::NeedsDealer(*command->info, command->arguments) &&
      !dealers_.MayDeal(where, sender)) {
    Log(LogLevel::kInfo,
        "refused a dealer's command at " + Shown(where) + " from " + Shown(sender));
    return Refuse(sender, where, *command);
  }
  LibraryJob job;
  job.id = next_job_++;
  job.sender = sender;
  job.where = where;
  job.in_channel = in_channel;
  job.text = params[1];
  job.relay_prefix_bytes = RelayPrefixBytes();
  // A command that may show a hand or a dealt card to one player: never logged.
  job.secret = in_channel && command->info->shows_hidden_cards;
  job.may_deal = !in_channel || dealers_.MayDeal(where, sender);
  if (in_channel) job.members = members_.FoldedMembers(where);
  if (!in_channel) {
    bool deal = command->info->id == host::CommandId::kDeck && command->deck.empty();
    job.player = PlayerKey(message, sender);
    PrivateTarget target = context_.state->ForPlayer(
        job.player, deal, context_.wall_clock ? context_.wall_clock() : 0);
    context_.state->Save();
    job.private_target = target.target;
    job.fresh_private = target.fresh;
    if (target.dropped) {
      Tell(sender, "",
           *target.dropped == DropReason::kFull ? config_.texts.deck_dropped_full
                                                : config_.texts.deck_dropped_unused,
           {});
    }
  }
  ++pending_[folded];
  ++pending_total_;
  output_.jobs.push_back(std::move(job));
}

void IrcSession::Help(std::string_view sender, std::string_view about) {
  // Each command's line: the settings' own (UTF-8, with the modes), or the table's (CP932).
  static const host::TableTexts table_texts = host::DefaultTableTexts();
  Fills fills{{"{prefix}", ToWire(config_.prefix)}, {"{modes}", context_.wire_modes}};
  std::string folded = FoldName(sender);
  auto tell_cp932 = [&](std::string_view text) {
    std::vector<QueuedLine> lines;
    for (std::string& line : notices_.Library(sender, "", text, RelayPrefixBytes())) {
      lines.push_back(Queued(std::move(line), false));
    }
    queue_.Push(folded, std::move(lines), !pending_.contains(folded));
  };
  std::span<const host::ChatCommandInfo> commands = host::CommandsToHelpWith(about);
  for (const host::ChatCommandInfo& command : commands) {
    auto own = config_.texts.help.find(command.word);
    if (own != config_.texts.help.end()) {
      Tell(sender, "", own->second, fills);
    } else {
      tell_cp932(host::TableHelpLine(table_texts, command, config_.prefix));
    }
  }
  if (commands.size() > 1) tell_cp932(table_texts.help_legend);
}

void IrcSession::Refuse(std::string_view sender, std::string_view channel,
                        const ChatCommand& command) {
  const DealerSetting& setting = dealers_.SettingFor(channel);
  std::string who;
  switch (setting.rule) {
    case DealerRule::kOwner: {
      const DeckOwner* owner = dealers_.PresentOwner(channel);
      who = FillText(ToWire(config_.texts.who_owner),
                     {{"{owner}", owner != nullptr ? owner->nick : std::string("?")}});
      break;
    }
    case DealerRule::kVoiced:
      who = ToWire(config_.texts.who_voiced);
      break;
    case DealerRule::kOps:
      who = ToWire(config_.texts.who_ops);
      break;
    case DealerRule::kNicks:
      for (const std::string& nick : setting.nicks) who += (who.empty() ? "" : ", ") + nick;
      break;
    case DealerRule::kAnyone:
      break;
  }
  std::string word(command.info->word);
  Tell(sender, "[" + std::string(channel) + "] ", config_.texts.refused,
       {{"{nick}", std::string(sender)}, {"{command}", config_.prefix + word}, {"{who}", who}});
}

std::string IrcSession::ToWire(std::string_view utf8) const {
  std::optional<std::string> cp932 = WireCodec(WireEncoding::kUtf8).ToLibrary(utf8);
  return codec_.ToWire(cp932.value_or(std::string(utf8)));
}

void IrcSession::Tell(std::string_view sender, std::string_view label, std::string_view utf8_text,
                      const Fills& fills, bool may_go_ahead) {
  Fills all = fills;
  all.emplace_back("{nick}", std::string(sender));
  std::vector<QueuedLine> lines;
  for (std::string& line : notices_.Host(sender, label, utf8_text, all, RelayPrefixBytes())) {
    lines.push_back(Queued(std::move(line), false));
  }
  std::string folded = FoldName(sender);
  queue_.Push(folded, std::move(lines), may_go_ahead && !pending_.contains(folded));
}

QueuedLine IrcSession::Queued(std::string line, bool secret) const {
  std::string_view rest = std::string_view(line).substr(line.find(' ') + 1);
  std::string target(rest.substr(0, rest.find(' ')));
  return {std::move(line), std::move(target), now_, secret};
}

bool IrcSession::Busy(const std::string& folded_sender) const {
  auto pending = pending_.find(folded_sender);
  std::size_t waiting = queue_.Waiting(folded_sender) +
                        (pending == pending_.end() ? 0 : pending->second * kLinesPerPendingJob);
  // A player with nothing waiting is still let in past the whole queue's bound, up to twice
  // it: the newcomer is answered while the flooders wait.
  std::size_t bytes = static_cast<std::size_t>(config_.queue_bytes) * (waiting == 0 ? 2 : 1);
  return waiting >= static_cast<std::size_t>(config_.sender_lines) || queue_.bytes() >= bytes ||
         pending_total_ >= kMaxPendingJobs || told_busy_.contains(folded_sender);
}

void IrcSession::ForgetIfIdle(const std::string& folded_sender) {
  auto pending = pending_.find(folded_sender);
  if (pending != pending_.end() && pending->second > 0) return;
  if (pending != pending_.end()) pending_.erase(pending);
  if (queue_.Waiting(folded_sender) == 0) told_busy_.erase(folded_sender);
}

void IrcSession::Answered(const LibraryJob& job, JobAnswer answer, Clock::time_point now) {
  now_ = now;
  std::string folded = FoldName(job.sender);
  auto pending = pending_.find(folded);
  if (pending != pending_.end() && pending->second > 0) {
    --pending->second;
    --pending_total_;
  }
  if (job.in_channel && answer.dealt) {
    context_.state->SetOwner(FoldName(job.where), OwnerIdentity(members_, job.sender));
    context_.state->Save();
  } else if (job.fresh_private && !answer.dealt) {
    context_.state->Unassign(job.player);
    context_.state->Save();
  }
  if (!answer.silent_reason.empty()) {
    Log(LogLevel::kInfo,
        "the library gave " + Shown(job.sender) + " no reply: " + Shown(answer.silent_reason));
  }
  if (!quitting_ && !answer.lines.empty()) {
    Log(LogLevel::kInfo, "queued " + std::to_string(answer.lines.size()) +
                             " line(s) for the command at " +
                             Shown(job.in_channel ? job.where : job.sender));
    std::vector<QueuedLine> lines;
    for (std::string& line : answer.lines) {
      bool to_sender = line.compare(7, job.sender.size() + 1, job.sender + " ") == 0;
      lines.push_back(Queued(std::move(line), job.secret && to_sender));
    }
    // A reply goes ahead only when no other command of the sender's is still coming.
    queue_.Push(folded, std::move(lines), pending == pending_.end() || pending->second == 0);
  }
  ForgetIfIdle(folded);
}

bool IrcSession::MayGo(const QueuedLine& line) const {
  // A channel's lines wait while the bot is out of it (kicked, not yet back after a reconnect).
  bool channel = !line.target.empty() &&
                 std::string_view("#&+!").find(line.target[0]) != std::string_view::npos;
  if (!registered_) return false;
  if (channel) return members_.IsJoined(line.target);
  return !line.carried || members_.IsAnywhere(line.target);
}

std::optional<Outgoing> IrcSession::NextPaced(Clock::time_point now) {
  if (queue_.empty() || quitting_) return std::nullopt;
  if (config_.flood_control && bucket_.WaitBefore(now) > Clock::duration::zero()) {
    return std::nullopt;
  }
  auto next = queue_.Pop([this](const QueuedLine& line) { return MayGo(line); });
  if (!next) return std::nullopt;
  if (config_.flood_control) bucket_.Take(now);
  ForgetIfIdle(next->first);
  const QueuedLine& line = next->second;
  Log(LogLevel::kDebug,
      "> " + (line.secret ? line.line.substr(0, line.line.find(':') + 1) + "(cards hidden)"
                          : line.line));
  return Outgoing{line.line, next->first};
}

void IrcSession::Tick(Clock::time_point now) {
  now_ = now;
  Clock::duration interval = Seconds(config_.ping_interval);
  Clock::duration patience = Seconds(config_.ping_timeout);
  Clock::duration silent = now - last_heard_;
  if (ping_sent_ && silent >= interval + patience) {
    Drop("no answer from the server for " +
         FormatSeconds(config_.ping_interval + config_.ping_timeout) + " s");
  } else if (!ping_sent_ && silent >= interval) {
    Urgent("PING :deckhand-irc");
    ping_sent_ = true;
  }
  for (auto rejoin = rejoins_.begin(); rejoin != rejoins_.end();) {
    if (rejoin->second > now) {
      ++rejoin;
      continue;
    }
    if (WireChannel* channel = FindChannel(rejoin->first);
        channel && !banned_.contains(rejoin->first)) {
      Join(*channel);
    }
    rejoin = rejoins_.erase(rejoin);
  }
  for (auto ban = banned_.begin(); ban != banned_.end();) {
    if (ban->second > now || !registered_) {
      ++ban;
      continue;
    }
    if (WireChannel* channel = FindChannel(ban->first)) Join(*channel);
    ban = banned_.erase(ban);
  }
  if (registered_ && !SameName(nick_, config_.nick) && now >= regain_at_) {
    Urgent("ISON " + config_.nick);
    regain_at_ = now + kNickRegainInterval;
  }
  std::size_t dropped =
      queue_.DropIf([now](const QueuedLine& line) { return now - line.queued > kHoldLimit; });
  if (dropped > 0) {
    Log(LogLevel::kWarning, "dropped " + std::to_string(dropped) +
                                " line(s) held too long for a channel the bot is out of");
  }
}

Clock::time_point IrcSession::NextWake(Clock::time_point now) {
  Clock::time_point wake = last_heard_ + Seconds(config_.ping_interval) +
                           (ping_sent_ ? Seconds(config_.ping_timeout) : Clock::duration::zero());
  for (const auto& [name, when] : rejoins_) wake = std::min(wake, when);
  for (const auto& [name, when] : banned_) wake = std::min(wake, when);
  if (registered_ && !SameName(nick_, config_.nick)) wake = std::min(wake, regain_at_);
  if (!queue_.empty()) {
    // Held lines are looked at again within a minute (they go when the bot is back in their
    // channel, which a line from the server tells); lines free to go when a token is due.
    wake = std::min(wake, now + std::chrono::seconds(60));
    if (config_.flood_control && !quitting_ &&
        queue_.AnyReady([this](const QueuedLine& line) { return MayGo(line); })) {
      wake = std::min(wake, now + bucket_.WaitBefore(now));
    }
  }
  return wake;
}

void IrcSession::Quit(std::string_view reason) {
  quitting_ = true;
  Urgent("QUIT :" + std::string(reason));
}

void IrcSession::OnCap(const IrcMessage& message) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 3) return;
  const std::string& subcommand = params[1];
  if (subcommand == "LS") {
    if (cap_listing_done_) return;  // a listing past the bound, or a second one
    // Only what we would ask for is kept of the listing, whatever its length.
    std::string offered = " " + params.back() + " ";
    for (std::string_view wanted : kWantedCaps) {
      if (offered.find(" " + std::string(wanted) + " ") != std::string::npos ||
          offered.find(" " + std::string(wanted) + "=") != std::string::npos) {
        if (offered_capabilities_.find(" " + std::string(wanted)) == std::string::npos) {
          offered_capabilities_ += " " + std::string(wanted);
        }
      }
    }
    if (!config_.sasl_password.empty() &&
        (offered.find(" sasl ") != std::string::npos ||
         offered.find(" sasl=") != std::string::npos) &&
        offered_capabilities_.find(" sasl") == std::string::npos) {
      offered_capabilities_ += " sasl";
    }
    bool more = params.size() > 3 && params[2] == "*";
    if (more && ++cap_lines_ < kMaxCapLines) return;
    cap_listing_done_ = true;
    if (!config_.sasl_password.empty() &&
        offered_capabilities_.find(" sasl") == std::string::npos) {
      Log(LogLevel::kWarning, "the server offers no SASL");
      if (config_.sasl_required) return Stop("the server offers no SASL and sasl_required is set");
    }
    if (offered_capabilities_.empty()) return FinishCapabilities();
    Urgent("CAP REQ :" + offered_capabilities_.substr(1));
  } else if (subcommand == "ACK") {
    std::string acked = " " + params.back() + " ";
    if (!config_.sasl_password.empty() && acked.find(" sasl ") != std::string::npos) {
      Urgent("AUTHENTICATE PLAIN");
    } else {
      FinishCapabilities();
    }
  } else if (subcommand == "NAK") {
    // All asked for or none: ask again for SASL alone when that is what matters.
    std::string refused = " " + params.back() + " ";
    if (!config_.sasl_password.empty() && refused.find(" sasl ") != std::string::npos &&
        offered_capabilities_ != " sasl") {
      offered_capabilities_ = " sasl";
      return Urgent("CAP REQ :sasl");
    }
    Log(LogLevel::kWarning, "the server refused the capabilities" + refused);
    if (!config_.sasl_password.empty() && config_.sasl_required) {
      return Stop("the server refused SASL and sasl_required is set");
    }
    FinishCapabilities();
  }
}

void IrcSession::SendCredentials() {
  const std::string& account = config_.sasl_user.empty() ? config_.nick : config_.sasl_user;
  for (std::string& line : SaslPlainLines(account, config_.sasl_password)) {
    Urgent(std::move(line));
  }
}

void IrcSession::FinishCapabilities() { Urgent("CAP END"); }

std::size_t IrcSession::RelayPrefixBytes() const {
  if (!own_prefix_.empty()) return own_prefix_.size() + 2;  // ":" and " "
  // Until a JOIN shows it: ":nick!~user@host " with the longest host name a server shows.
  constexpr std::size_t kMaxHost = 63;
  constexpr std::size_t kMaxUser = 10;
  return 1 + nick_.size() + 2 + std::min(config_.user.size(), kMaxUser) + 1 + kMaxHost + 1;
}

WireChannel* IrcSession::FindChannel(std::string_view name) {
  for (WireChannel& channel : channels_) {
    if (SameName(channel.name, name)) return &channel;
  }
  return nullptr;
}

bool IrcSession::IsMe(std::string_view nick) const { return SameName(nick, nick_); }

std::string IrcSession::Shown(std::string_view wire) const {
  if (codec_.encoding() == WireEncoding::kUtf8) return std::string(wire);
  std::optional<std::string> cp932 = codec_.ToLibrary(wire);
  if (!cp932) return std::string(wire);
  return WireCodec(WireEncoding::kUtf8).ToWire(*cp932);
}

}  // namespace deckhand::irc
