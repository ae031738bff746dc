// deckhand-irc: plays the deckhand card games in IRC channels.
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>

#include "deckhand/table.h"
#include "host/common/bot_state.h"
#include "host/common/card_check.h"
#include "host/common/chat_host_start.h"
#include "host/common/game.h"
#include "host/common/log.h"
#include "host/common/wire_codec.h"
#include "host/irc/config.h"
#include "host/irc/session.h"
#include "host/irc/tls.h"
#include "host/irc/transport.h"

namespace deckhand::irc {
namespace {

constexpr int kBadSettings = 2;
constexpr int kServerRefused = 1;
// The bot's own files in the data directory, beside the library's save file.
constexpr const char* kStateFile = "deckhand-irc.state";
constexpr const char* kPlayersFile = "deckhand-irc.players";

// A card's name as it is meant, its references as their characters.
std::string InUtf8(std::string_view cp932) {
  return host::WireCodec(host::WireEncoding::kUtf8).ToWire(cp932);
}

// The most cards the start log names that the network shows with references; deckhand
// --check-cards --encoding lists them all.
constexpr std::size_t kReferencedCardsLogged = 20;

// The card sets checked as `deckhand --check-cards` checks them, each problem logged, and the
// cards that the network in `encoding` shows with character references. Without a readable mode
// table no deal can work: nullopt, and the bot does not start.
std::optional<std::vector<std::string>> CheckCards(const BotConfig& config,
                                                   host::WireEncoding encoding,
                                                   std::string* error) {
  std::optional<host::CardSetReport> report = host::CheckCardSetsAtStart(config.modes_file, error);
  if (!report) return std::nullopt;
  std::vector<std::string> warnings =
      host::ReferenceWarnings(*report, encoding, InUtf8, kReferencedCardsLogged);
  for (const std::string& warning : warnings) {
    host::Log(host::LogLevel::kWarning, "card sets: " + warning);
  }
  std::vector<std::string> modes = host::ModeNames(*report);
  host::Log(host::LogLevel::kInfo,
            std::to_string(modes.size()) + " mode(s), " + std::to_string(report->problems.size()) +
                " problem(s) in the card sets" +
                (warnings.empty() ? ""
                                  : ", " + std::to_string(report->referenced_cards.size()) +
                                        " card(s) shown with character references on this "
                                        "network"));
  return modes;
}

int Refuse(const std::string& message) {
  std::cerr << "deckhand-irc: " << message << std::endl;
  return kBadSettings;
}

// The configured channels (UTF-8) as the wire writes them.
std::optional<std::vector<WireChannel>> WireChannels(const BotConfig& config,
                                                     const host::WireCodec& codec,
                                                     std::string* error) {
  std::vector<WireChannel> channels;
  for (const ChannelSetting& setting : config.channels) {
    std::optional<std::string> name =
        host::WireCodec(host::WireEncoding::kUtf8).ToLibrary(setting.name);
    if (!name) {
      *error = "the channel " + setting.name + " has characters without a Shift_JIS form";
      return std::nullopt;
    }
    channels.push_back({codec.ToWire(*name), setting.key});
  }
  return channels;
}

int Run(BotConfig& config) {
  host::SetVerboseLog(config.verbose);
  host::SetLogLevel(config.log_level);
  if (config.key_on_command_line) {
    host::Log(
        host::LogLevel::kWarning,
        "a channel key on the command line is shown to every user by ps: put it in the settings "
        "file");
  }
  std::optional<host::WireEncoding> encoding = host::ParseWireEncoding(config.encoding);
  if (!encoding) return Refuse("unknown encoding " + config.encoding);
  host::WireCodec codec(*encoding);
  std::string error;
  // The bot plays on the library's core, linked in: a library to load is a setting of older
  // settings files, which keep working.
  if (!config.plugin.empty()) {
    host::Log(host::LogLevel::kWarning,
              "the library path (plugin setting, --plugin) is no longer needed: " + config.plugin +
                  " is not loaded");
  }
  // Read before the move to the data directory, relative to where the program started.
  if (!config.tls_ca.empty()) config.tls_ca = std::filesystem::absolute(config.tls_ca).string();
  std::optional<asio::ssl::context> tls;
  try {
    tls.emplace(MakeTlsContext(config));
  } catch (const asio::system_error& failure) {
    return Refuse("cannot use the TLS settings (" + config.tls_ca + "): " + failure.what());
  }
  std::optional<std::vector<WireChannel>> channels = WireChannels(config, codec, &error);
  if (!channels) return Refuse(error);
  if (!config.data_dir.empty()) {
    std::error_code failure;
    std::filesystem::current_path(config.data_dir, failure);
    if (failure)
      return Refuse("cannot use the data directory " + config.data_dir + ": " + failure.message());
  }
  std::optional<std::vector<std::string>> modes = CheckCards(config, *encoding, &error);
  if (!modes) return Refuse(error);
  table::SetTranscripts({config.transcripts, config.transcript_days,
                         static_cast<std::size_t>(config.transcript_files)});
  host::BotState state(kStateFile, static_cast<std::size_t>(config.private_decks),
                       config.private_deck_days);
  if (!state.Load(&error)) return Refuse(error);
  IdentityBook book(kPlayersFile);
  if (!book.Load(&error)) return Refuse(error);
  std::optional<host::Game> game =
      host::Game::Create(config, std::move(*modes), state, host::SecondsSince1970, &error);
  if (!game) return Refuse(error);
  host::Log(host::LogLevel::kInfo, "data in " + std::filesystem::current_path().string());

  bool failed = false;
  {
    asio::io_context io;
    Transport bot(io, *tls, config, *game, codec, std::move(*channels), book);
    asio::signal_set signals(io, SIGINT, SIGTERM, SIGHUP);
    std::function<void(const asio::error_code&, int)> on_signal =
        [&](const asio::error_code& failure, int number) {
          if (failure) return;
          if (number != SIGHUP) return bot.Stop();
          // Settings and card sets are read once, at start: a reload would have to redo
          // everything a restart does.
          host::Log(host::LogLevel::kWarning,
                    "SIGHUP ignored: restart deckhand-irc to read changed settings");
          signals.async_wait(on_signal);
        };
    signals.async_wait(on_signal);
    bot.Start();
    io.run();
    failed = bot.failed();
  }  // the bot's worker is joined here: nothing plays on the state any more
  state.Save();
  return failed ? kServerRefused : 0;
}

}  // namespace
}  // namespace deckhand::irc

int main(int argc, char** argv) {
  using namespace deckhand::irc;
  LoadedConfig loaded = LoadConfig(argc, argv);
  if (loaded.action == Action::kHelp) {
    std::cout << UsageText();
    return 0;
  }
  if (loaded.action == Action::kVersion) {
    std::cout << "deckhand-irc " << DECKHAND_VERSION << std::endl;
    return 0;
  }
  if (!loaded.config) return Refuse(loaded.error + "\nTry 'deckhand-irc --help' for more.");
  return Run(*loaded.config);
}
