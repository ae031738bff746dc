// What the IRC layers ask of the transport after an event, besides the paced lines: lines to
// write at once, and whether to drop the link or stop the bot.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/wire_codec.h"

namespace deckhand::irc {

struct WireOutput {
  std::vector<std::string> urgent;  // to write now, ahead of everything paced
  // The bot's own lines that can wait their turn (JOIN, MODE, ISON): paced with the replies, so
  // that a sign-on never sends more at once than the pacing allows.
  std::vector<std::string> paced;
  std::optional<std::string> drop;  // drop the link, for this reason
  bool stop = false;                // and stop: going on cannot work (logged)

  void Send(std::string line);  // logged without its secrets
  void SendPaced(std::string line) { paced.push_back(std::move(line)); }
  // The first reason given is the one kept.
  void Drop(std::string reason) {
    if (!drop) drop = std::move(reason);
  }
};

// Wire bytes for the log, in UTF-8.
std::string Shown(const host::WireCodec& codec, std::string_view wire);

}  // namespace deckhand::irc
