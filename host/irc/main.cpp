// deckhand-irc: plays the deckhand card games in IRC channels.
#include <csignal>
#include <filesystem>
#include <iostream>

#include "host/common/plugin.h"
#include "host/irc/config.h"
#include "host/irc/game.h"
#include "host/irc/log.h"
#include "host/irc/session.h"
#include "host/irc/tls.h"
#include "host/irc/transport.h"
#include "host/irc/wire_codec.h"

namespace deckhand::irc {
namespace {

constexpr int kBadSettings = 2;

int Refuse(const std::string& message) {
  std::cerr << "deckhand-irc: " << message << std::endl;
  return kBadSettings;
}

std::optional<host::Plugin> OpenPlugin(const BotConfig& config, std::string* error) {
  std::optional<std::string> path = config.plugin.empty()
                                        ? host::FindDefaultPlugin(error)
                                        : std::filesystem::absolute(config.plugin).string();
  if (!path) return std::nullopt;
  return host::LoadPlugin(*path, error);
}

// The configured channels (UTF-8) as the wire writes them.
std::optional<std::vector<WireChannel>> WireChannels(const BotConfig& config,
                                                     const WireCodec& codec, std::string* error) {
  std::vector<WireChannel> channels;
  for (const ChannelSetting& setting : config.channels) {
    std::optional<std::string> name = WireCodec(WireEncoding::kUtf8).ToLibrary(setting.name);
    if (!name) {
      *error = "the channel " + setting.name + " has characters without a Shift_JIS form";
      return std::nullopt;
    }
    channels.push_back({codec.ToWire(*name), setting.key});
  }
  return channels;
}

int Run(BotConfig& config) {
  SetVerboseLog(config.verbose);
  std::optional<WireEncoding> encoding = ParseWireEncoding(config.encoding);
  if (!encoding) return Refuse("unknown encoding " + config.encoding);
  WireCodec codec(*encoding);
  std::string error;
  std::optional<host::Plugin> plugin = OpenPlugin(config, &error);
  if (!plugin) return Refuse(error);
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
  std::optional<Game> game = Game::Create(*plugin, config, codec, &error);
  if (!game) return Refuse(error);
  if (!config.data_dir.empty()) {
    std::error_code failure;
    std::filesystem::current_path(config.data_dir, failure);
    if (failure)
      return Refuse("cannot use the data directory " + config.data_dir + ": " + failure.message());
  }
  Log(LogLevel::kInfo,
      "library " + plugin->path + ", data in " + std::filesystem::current_path().string());

  asio::io_context io;
  Transport bot(io, *tls, config, *game, codec, std::move(*channels));
  asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&bot](const asio::error_code& failure, int) {
    if (!failure) bot.Stop();
  });
  bot.Start();
  io.run();
  return 0;
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
