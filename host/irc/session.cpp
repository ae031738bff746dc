#include "host/irc/session.h"

#include <utility>

#include "host/common/ascii.h"
#include "host/common/log.h"
#include "host/irc/irc_numerics.h"

namespace deckhand::irc {
namespace {

// Servers close a flooding client with an ERROR naming it: "Excess Flood", "Flooding".
bool MentionsFlooding(std::string_view text) {
  return host::LowerAscii(text).find("flood") != std::string::npos;
}

// The sender the bot's own paced lines go under: no nick holds a space.
constexpr std::string_view kOwnLines = " deckhand";

}  // namespace

IrcSession::IrcSession(const BotConfig& config, const host::WireCodec& codec,
                       std::vector<WireChannel> channels, IdentityBook& book, Clock::time_point now)
    : config_(config),
      codec_(codec),
      notices_(codec.encoding()),
      connection_(config, codec, now),
      channels_(config, codec, std::move(channels), book),
      outbound_(config) {}

void IrcSession::Connected(Clock::time_point now) {
  now_ = now;
  connection_.Connected(now, wire_);
}

SessionOutput IrcSession::TakeOutput() {
  WireOutput wire = std::exchange(wire_, {});
  for (std::size_t i = 0; i < wire.urgent.size(); ++i) outbound_.SentAtOnce(now_);
  // The bot's own paced lines, in its own turn, to no player (so they may go whenever the bot
  // is signed on).
  std::vector<QueuedLine> own;
  for (std::string& line : wire.paced) own.push_back({std::move(line), "", now_, false, false});
  outbound_.Push(std::string(kOwnLines), std::move(own), true);
  return {std::move(wire.urgent), std::exchange(jobs_, {}), std::exchange(changes_, {}),
          std::move(wire.drop), wire.stop};
}

void IrcSession::Receive(std::string_view line, Clock::time_point now) {
  now_ = now;
  connection_.Heard(now);
  // A CR or NUL inside a line (a sender prefix holding one) would be echoed into our own lines.
  if (line.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos) {
    host::Log(host::LogLevel::kWarning, "dropped a line from the server holding CR or NUL");
    return;
  }
  host::Log(host::LogLevel::kDebug, "< " + std::string(line));
  std::optional<IrcMessage> parsed = ParseIrcLine(line);
  if (!parsed) return;
  const IrcMessage& message = *parsed;
  const std::string& command = message.command;
  // The channels first: they tell the bot's own lines by the nick it had before this one.
  std::vector<MemberChange> changes;
  channels_.Receive(message, connection_.nick(), now, wire_, changes);
  for (const MemberChange& change : changes) Changed(change);
  connection_.SetCaseMapping(channels_.members().case_mapping());
  bool was_registered = connection_.registered();
  connection_.Receive(message, wire_);
  if (!was_registered && connection_.registered()) channels_.JoinAll(wire_);
  if (command == "PRIVMSG") {
    OnChat(message, now);
  } else if (command == numeric::kCannotSendToChannel || command == "FAIL") {
    host::Log(host::LogLevel::kWarning, "the server refused a line: " + Shown(line));
  } else if (command == "ERROR") {
    closed_for_flooding_ = !message.params.empty() && MentionsFlooding(message.params.back());
    host::Log(host::LogLevel::kWarning,
              "the server says: " + (message.params.empty() ? "" : Shown(message.params.back())));
  }
}

void Apply(host::ChatApplication& game, const PresenceChange& change) {
  if (change.place_id.empty()) return game.Renamed(change.player_id, change.renamed);
  game.Left(change.place_id, change.player_id);
}

void IrcSession::Changed(const MemberChange& change) {
  if (change.channel.empty()) {
    // The player's lines follow them to the new nick.
    outbound_.Update([&](QueuedLine& line) {
      if (line.target_id.empty() || line.target_id != change.player) return;
      if (Readdress(line, change.new_nick)) line.target_id = change.renamed_player;
    });
    changes_.push_back({"", change.player, {change.renamed_player, Shown(change.new_nick)}});
  } else {
    changes_.push_back({channels_.Fold(change.channel), change.player, {}});
  }
}

host::ChatRequest IrcSession::Request(const IrcMessage& message, std::string_view sender,
                                      std::string_view where, bool in_channel) const {
  const Membership& members = channels_.members();
  host::ChatRequest request;
  request.player = {channels_.SenderId(message), Shown(sender)};
  request.text = Shown(message.params[1]);
  if (config_.flood_control) {
    request.most_private_lines =
        static_cast<std::size_t>(config_.flood_burst + config_.flood_rate * config_.deal_seconds);
    // What a NOTICE to a nick carries after its relay prefix, command, nick and label.
    request.private_line_bytes = kMaxIrcLine - 2 - RelayPrefixBytes() - 80;
  }
  if (!in_channel) return request;
  request.place = {channels_.Fold(where), Shown(where)};
  request.standing = members.HasAtLeast(where, sender, '@')   ? host::Standing::kOperator
                     : members.HasAtLeast(where, sender, '+') ? host::Standing::kVoiced
                                                              : host::Standing::kMember;
  // By their folded nicks: the game only compares them with the names players type.
  for (const std::string& nick : members.FoldedMembers(where)) {
    // The bot deals; it holds no hand.
    if (connection_.IsMe(nick)) continue;
    request.present.push_back({channels_.PlayerId(nick), Shown(channels_.Written(nick))});
  }
  request.same_name = [mapping = members.case_mapping()](std::string_view a, std::string_view b) {
    return SameName(a, b, mapping);
  };
  return request;
}

void IrcSession::OnChat(const IrcMessage& message, Clock::time_point) {
  const std::vector<std::string>& params = message.params;
  if (params.size() < 2 || params[1].empty() || params[1][0] == '\x01') return;  // CTCP
  std::string_view sender = NickOf(message.prefix);
  if (sender.empty()) return;  // from the server itself: no one to answer
  std::optional<host::ChatCommand> command = host::ParseChatCommand(params[1], config_.prefix);
  if (!command) return;
  const std::string& where = params[0];
  bool in_channel = !connection_.IsMe(where);
  const Membership& members = channels_.members();
  if (in_channel && (!members.IsJoined(where) || !members.IsIn(where, sender))) {
    host::Log(host::LogLevel::kInfo, "ignored a command at " + Shown(where) + " from " +
                                         Shown(sender) + ", who is not in the channel");
    return;
  }
  host::ChatRequest request = Request(message, sender, where, in_channel);
  // Turns and bounds are the player's, whatever nick they send from.
  const std::string& player = request.player.id;
  if (player.empty()) {
    host::Log(host::LogLevel::kInfo, "ignored a command from " + Shown(sender) +
                                         ", whose line shows no user@host to tell them by");
    return;
  }
  // Every command counts against its sender's turn, answered or not.
  outbound_.Charge(player, now_);
  if (outbound_.Busy(player)) {
    host::Log(host::LogLevel::kInfo,
              "no reply to " + Shown(sender) + ": replies for them are waiting");
    // In the sender's own turn: it counts as one of their lines.
    if (outbound_.TellBusy(player)) Tell(sender, player, "", config_.texts.busy, {});
    return;
  }
  LibraryJob job;
  job.id = next_job_++;
  job.sender = sender;
  job.where = where;
  job.in_channel = in_channel;
  job.relay_prefix_bytes = RelayPrefixBytes();
  job.request = std::move(request);
  outbound_.JobStarted(job.request.player.id);
  jobs_.push_back(std::move(job));
}

void IrcSession::Tell(std::string_view sender, const std::string& sender_id, std::string_view label,
                      std::string_view utf8_text, const host::Fills& fills) {
  host::Fills all = fills;
  all.emplace_back("{nick}", std::string(sender));
  std::vector<QueuedLine> lines;
  for (std::string& line : notices_.Host(sender, label, utf8_text, all, RelayPrefixBytes())) {
    lines.push_back(Queued(std::move(line), false, sender_id));
  }
  outbound_.Push(sender_id, std::move(lines));
}

QueuedLine IrcSession::Queued(std::string line, bool secret, const std::string& to_id) const {
  QueuedLine queued = OutboundScheduler::Queued(std::move(line), secret, now_);
  // Only players in the bot's channels are followed: of anyone else, the bot cannot tell who
  // holds the nick when the line goes.
  if (to_id.empty() || channels_.IsChannel(queued.target)) return queued;
  if (channels_.PlayerId(queued.target) == to_id) {
    queued.target_id = to_id;
    return queued;
  }
  std::optional<std::string> nick = channels_.CurrentNick(to_id);
  // Renamed since they asked: to the new nick, or (too long for the line) held for the old one.
  if (nick && !SameName(*nick, queued.target, channels_.members().case_mapping())) {
    Readdress(queued, *nick);
  }
  if (nick || channels_.members().IsAnywhere(queued.target) || channels_.Departed(to_id)) {
    queued.target_id = to_id;
  }
  return queued;
}

bool IrcSession::Readdress(QueuedLine& line, std::string_view nick) const {
  // "NOTICE <target> :..." with another target.
  std::size_t start = line.line.find(' ') + 1;
  std::string readdressed =
      line.line.substr(0, start) + std::string(nick) + line.line.substr(start + line.target.size());
  if (RelayPrefixBytes() + readdressed.size() + 2 > kMaxIrcLine) return false;
  line.line = std::move(readdressed);
  line.target = nick;
  return true;
}

void IrcSession::Answered(const LibraryJob& job, const host::ChatAnswer& answer,
                          Clock::time_point now) {
  now_ = now;
  const std::string& player = job.request.player.id;
  outbound_.JobFinished(player);
  if (!answer.silent_reason.empty()) {
    host::Log(host::LogLevel::kInfo,
              "the library gave " + Shown(job.sender) + " no reply: " + answer.silent_reason);
  }
  std::vector<Notice> notices = AnswerNotices(
      answer, {job.sender, job.where, job.in_channel, job.relay_prefix_bytes}, notices_, config_);
  if (!connection_.quitting() && !notices.empty()) {
    host::Log(host::LogLevel::kInfo, "queued " + std::to_string(notices.size()) +
                                         " line(s) for the command at " +
                                         Shown(job.in_channel ? job.where : job.sender));
    std::vector<QueuedLine> lines;
    for (Notice& notice : notices) {
      lines.push_back(Queued(std::move(notice.line), notice.secret, notice.to_id));
    }
    outbound_.Push(player, std::move(lines));
  }
  outbound_.ForgetIfIdle(player);
}

bool IrcSession::MayGo(const QueuedLine& line) const {
  // A channel's lines wait while the bot is out of it (kicked, not yet back after a reconnect).
  if (!connection_.registered()) return false;
  if (line.target.empty()) return true;  // the bot's own
  const Membership& members = channels_.members();
  if (channels_.IsChannel(line.target)) return members.IsJoined(line.target);
  // A player's line goes while their nick is theirs; a line to someone the bot does not follow
  // goes on the link it was queued on only.
  if (!line.target_id.empty()) return channels_.PlayerId(line.target) == line.target_id;
  return !line.carried;
}

std::optional<Outgoing> IrcSession::NextPaced(Clock::time_point now) {
  if (connection_.quitting()) return std::nullopt;
  return outbound_.NextPaced(now, [this](const QueuedLine& line) { return MayGo(line); });
}

void IrcSession::Tick(Clock::time_point now) {
  now_ = now;
  connection_.Tick(now, wire_);
  channels_.Tick(now, connection_.registered(), wire_);
  outbound_.DropExpired(now);
}

IrcSession::Clock::time_point IrcSession::NextWake(Clock::time_point now) {
  Clock::time_point wake = channels_.NextWake(connection_.NextWake());
  return outbound_.NextWake(now, wake, [this](const QueuedLine& line) { return MayGo(line); });
}

void IrcSession::Quit(std::string_view reason) { connection_.Quit(reason, wire_); }

}  // namespace deckhand::irc
