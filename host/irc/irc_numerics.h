// The server's numeric replies that the bot acts on, by name.
#pragma once

#include <string_view>

namespace deckhand::irc::numeric {

inline constexpr std::string_view kWelcome = "001";     // registered; params[0] is our nick
inline constexpr std::string_view kSupport = "005";     // ISUPPORT tokens
inline constexpr std::string_view kWhoReply = "352";    // one member, to WHO
inline constexpr std::string_view kNamesReply = "353";  // members of a channel
inline constexpr std::string_view kWhoxReply = "354";   // one member, to WHOX
inline constexpr std::string_view kEndOfNames = "366";
inline constexpr std::string_view kNoSuchNick = "401";
inline constexpr std::string_view kNoSuchChannel = "403";
inline constexpr std::string_view kCannotSendToChannel = "404";
inline constexpr std::string_view kTooManyChannels = "405";
inline constexpr std::string_view kErroneousNickname = "432";
inline constexpr std::string_view kNicknameInUse = "433";
inline constexpr std::string_view kNickCollision = "436";
inline constexpr std::string_view kUnavailableResource = "437";
inline constexpr std::string_view kChannelIsFull = "471";
inline constexpr std::string_view kInviteOnlyChannel = "473";
inline constexpr std::string_view kBannedFromChannel = "474";
inline constexpr std::string_view kBadChannelKey = "475";
inline constexpr std::string_view kNeedRegisteredNick = "477";
inline constexpr std::string_view kIsOn = "303";            // ISON's answer
inline constexpr std::string_view kMonitorOffline = "731";  // a monitored nick is free
inline constexpr std::string_view kNickLocked = "902";
inline constexpr std::string_view kLoggedIn = "900";
inline constexpr std::string_view kSaslSuccess = "903";
inline constexpr std::string_view kSaslFailed = "904";
inline constexpr std::string_view kSaslTooLong = "905";
inline constexpr std::string_view kSaslAborted = "906";
inline constexpr std::string_view kSaslAlready = "907";

}  // namespace deckhand::irc::numeric
