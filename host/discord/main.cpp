// deckhand-discord: plays the deckhand card games on Discord, through its interactions endpoint.
#include <boost/asio/signal_set.hpp>
#include <boost/asio/ssl/context.hpp>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "deckhand/table.h"
#include "host/common/bot_state.h"
#include "host/common/chat_host_start.h"
#include "host/common/game.h"
#include "host/common/log.h"
#include "host/common/wire_codec.h"
#include "host/discord/bot.h"
#include "host/discord/http_client.h"
#include "host/discord/settings.h"
#include "host/discord/signature.h"
#include "host/discord/slash_commands.h"

namespace deckhand::discord {
namespace {

constexpr int kBadSettings = 2;
constexpr int kFailed = 1;
// The bot's own file in the data directory, beside the library's save file.
constexpr const char* kStateFile = "deckhand-discord.state";
constexpr std::chrono::seconds kRegisterDeadline{30};

using host::Log;
using host::LogLevel;

int Refuse(const std::string& message) {
  std::cerr << "deckhand-discord: " << message << std::endl;
  return kBadSettings;
}

// The bot token: the credentials file's first line. It is a password: never an option, where
// `ps` would show it.
std::optional<std::string> ReadToken(const std::string& path, std::string* error) {
  std::ifstream file(path);
  std::string token;
  if (!file || !std::getline(file, token)) {
    *error = "cannot read the bot token from " + path;
    return std::nullopt;
  }
  while (!token.empty() && std::isspace(static_cast<unsigned char>(token.back()))) token.pop_back();
  if (token.empty() || token.find_first_of(" \t\r\n") != std::string::npos) {
    *error = path + " holds no bot token on its first line";
    return std::nullopt;
  }
  std::error_code failure;
  auto permissions = std::filesystem::status(path, failure).permissions();
  if (!failure &&
      (permissions & std::filesystem::perms::others_read) != std::filesystem::perms::none) {
    Log(LogLevel::kWarning, path + " can be read by every user: chmod 600 it");
  }
  return token;
}

int Register(const DiscordSettings& settings) {
  std::string error;
  std::optional<std::string> token = ReadToken(settings.credentials, &error);
  if (!token) return Refuse(error);
  std::string url = settings.api + "/applications/" + settings.application_id +
                    (settings.guild_id.empty() ? "" : "/guilds/" + settings.guild_id) + "/commands";
  nlohmann::json commands = SlashCommandDefinitions();
  ClientResponse response =
      SendHttp({"PUT",
                url,
                {{"Authorization", "Bot " + *token}, {"Content-Type", "application/json"}},
                commands.dump()},
               kRegisterDeadline);
  if (response.status >= 200 && response.status < 300) {
    std::cout << "registered " << commands.size() << " commands"
              << (settings.guild_id.empty() ? "" : " on the server " + settings.guild_id)
              << std::endl;
    return 0;
  }
  std::cerr << "deckhand-discord: Discord refused the commands: "
            << (response.status != 0 ? "HTTP " + std::to_string(response.status) + " " +
                                           response.body.substr(0, 2000)
                                     : response.error)
            << std::endl;
  return kFailed;
}

std::shared_ptr<boost::asio::ssl::context> TlsOf(const DiscordSettings& settings,
                                                 std::string* error) {
  if (settings.tls_certificate.empty()) return nullptr;
  auto tls = std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_server);
  boost::system::error_code failure;
  tls->use_certificate_chain_file(settings.tls_certificate, failure);
  if (!failure)
    tls->use_private_key_file(settings.tls_key, boost::asio::ssl::context::pem, failure);
  if (failure) {
    *error = "cannot use the TLS certificate and key: " + failure.message();
    return nullptr;
  }
  return tls;
}

std::vector<std::string> InUtf8(const std::vector<std::string>& cp932) {
  host::WireCodec utf8(host::WireEncoding::kUtf8);
  std::vector<std::string> texts;
  for (const std::string& text : cp932) texts.push_back(utf8.ToWire(text));
  return texts;
}

int Run(DiscordSettings& settings) {
  host::SetVerboseLog(settings.verbose);
  host::SetLogLevel(settings.log_level);
  std::optional<SignatureCheck> signatures = SignatureCheck::FromHex(settings.public_key);
  if (!signatures) return Refuse("the public_key is no Ed25519 public key");
  std::string error;
  std::shared_ptr<boost::asio::ssl::context> tls = TlsOf(settings, &error);
  if (!error.empty()) return Refuse(error);
  if (!settings.data_dir.empty()) {
    std::error_code failure;
    std::filesystem::current_path(settings.data_dir, failure);
    if (failure) {
      return Refuse("cannot use the data directory " + settings.data_dir + ": " +
                    failure.message());
    }
  }
  std::optional<host::CardSetReport> cards =
      host::CheckCardSetsAtStart(settings.modes_file, &error);
  if (!cards) return Refuse(error);
  std::vector<std::string> modes = host::ModeNames(*cards);
  table::SetTranscripts({settings.transcripts, settings.transcript_days,
                         static_cast<std::size_t>(settings.transcript_files)});
  host::BotState state(kStateFile, static_cast<std::size_t>(settings.private_decks),
                       settings.private_deck_days);
  if (!state.Load(&error)) return Refuse(error);
  std::vector<std::string> mode_names = InUtf8(modes);
  std::optional<host::Game> game =
      host::Game::Create(settings, std::move(modes), state, host::SecondsSince1970, &error);
  if (!game) return Refuse(error);
  InteractionEndpoint endpoint(settings, *signatures, std::move(mode_names), *game);
  {
    boost::asio::io_context io;
    DiscordBot bot(io, settings, endpoint, *game, tls);
    if (!bot.Start(&error)) return Refuse(error);
    Log(LogLevel::kInfo, "data in " + std::filesystem::current_path().string());
    Log(LogLevel::kInfo, std::string("listening on ") + (tls ? "https" : "http") + "://" +
                             settings.listen + ":" + std::to_string(bot.port()) + settings.path);
    boost::asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const boost::system::error_code& failure, int) {
      if (failure) return;
      Log(LogLevel::kInfo, "stopping");
      bot.Stop();
      io.stop();
    });
    io.run();
  }  // the game's thread is joined here: nothing plays on the state any more
  state.Save();
  return 0;
}

}  // namespace
}  // namespace deckhand::discord

int main(int argc, char** argv) {
  using namespace deckhand::discord;
  std::signal(SIGPIPE, SIG_IGN);
  LoadedSettings loaded = LoadSettings(argc, argv);
  if (loaded.action == Action::kHelp) {
    std::cout << UsageText();
    return 0;
  }
  if (loaded.action == Action::kVersion) {
    std::cout << "deckhand-discord " << DECKHAND_VERSION << std::endl;
    return 0;
  }
  if (!loaded.settings) return Refuse(loaded.error + "\nTry 'deckhand-discord --help' for more.");
  if (loaded.action == Action::kPrintCommands) {
    std::cout << SlashCommandDefinitions().dump(2) << std::endl;
    return 0;
  }
  if (loaded.action == Action::kRegister) return Register(*loaded.settings);
  return Run(*loaded.settings);
}
