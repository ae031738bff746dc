// deckhand-irc's settings: errors name the file, line and reason; options override the file.
#include "host/irc/config.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "support/scratch_directory.h"

namespace deckhand::irc {
namespace {

using testing::ScratchDirectory;

LoadedConfig Load(std::initializer_list<const char*> arguments) {
  std::vector<std::string> words = {"deckhand-irc"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return LoadConfig(static_cast<int>(words.size()), argv.data());
}

struct FileErrorCase {
  const char* ini;
  const char* error;  // what the message must hold after the file name
};

TEST(ConfigFile, NamesTheLineAndReasonOfTheFirstFault) {
  const FileErrorCase cases[] = {
      {"[server]\nport = 0\n", ":2: port: \"0\" is not a port number"},
      {"[server]\nport = 70000\n", ":2: port:"},
      {"[server]\nport = 66x\n", ":2: port:"},
      {"[server]\nhost = irc\n\n[bot]\nnick = two words\n", ":5: nick: must be one word"},
      {"[server]\ntls = maybe\n", ":2: tls: \"maybe\" is not true or false"},
      {"[server]\nencoding = latin1\n", ":2: encoding: unknown encoding \"latin1\""},
      {"[log]\nlevel = loud\n", ":2: level: unknown log level \"loud\""},
      {"[server]\ntls_fingerprint = ab:cd\n", ":2: tls_fingerprint:"},
      {"[bot]\nchannel = table\n", ":2: channel: \"table\" is not a channel"},
      {"[bot]\nchannel = #a,#b\n", ":2: channel:"},
      {"[game]\ncolour = red\n", ":2: unknown setting \"colour\" in [game]"},
      {"[game]\nprefix = a b\n", ":2: prefix:"},
      {"[flood]\nrate = 0\n", ":2: rate:"},
      {"[flood]\nburst = -3\n", ":2: burst:"},
      {"[timing]\nping_interval = nan\n", ":2: ping_interval:"},
      {"[texts]\nhidden_draw =\n", ":2: hidden_draw:"},
      {"[texts]\nhelp_dral = x\n", ":2: unknown setting \"help_dral\" in [texts]"},
      {"[game]\ndealer = #a\n", ":2: dealer:"},
      {"[game]\ndealer = , ,\n", ":2: dealer:"},
      {"[game]\nprivate_decks = 0\n", ":2: private_decks:"},
      {"[game]\ntranscript_days = 0\n", ":2: transcript_days:"},
      {"[server]\nport\n", ":2: not a [section] nor a key = value line"},
      {"[server]\nport = x\ntls = maybe\n", ":2: port:"},
  };
  for (const FileErrorCase& test : cases) {
    ScratchDirectory scratch;
    scratch.Write("bot.ini", test.ini);
    BotConfig config;
    std::string error;
    EXPECT_FALSE(ReadConfigFile("bot.ini", config, &error)) << test.ini;
    EXPECT_EQ(error.rfind("bot.ini", 0), 0u) << error;
    EXPECT_NE(error.find(test.error), std::string::npos) << test.ini << "\ngave: " << error;
  }
}

TEST(ConfigFile, AMissingFileIsAnErrorWithItsName) {
  ScratchDirectory scratch;
  LoadedConfig loaded = Load({"--config", "absent.ini"});
  EXPECT_FALSE(loaded.config);
  EXPECT_EQ(loaded.error, "absent.ini: cannot read the file");
}

TEST(ConfigFile, ReadsEveryKindOfValueAndPathsFromTheFilesDirectory) {
  ScratchDirectory scratch;
  std::filesystem::create_directory("conf");
  scratch.Write("conf/bot.ini",
                "[server]\nport = 6697\ntls = yes\ntls_ca = ca.pem\nencoding = ISO-2022-JP\n"
                "[bot]\nchannel = #one\nchannel = #two key2\n"
                "[game]\ndata_dir = decks\nprefix = deck:\ndealer = ops\ndealer = #two alice, bob\n"
                "transcripts = off\ntranscript_files = 20\n"
                "[flood]\nenabled = off\nrate = 2.5\n"
                "[texts]\nhidden_draw = {nick} drew {count}\nhelp_deal = {prefix}deal: deals\n");
  BotConfig config;
  std::string error;
  ASSERT_TRUE(ReadConfigFile("conf/bot.ini", config, &error)) << error;
  std::filesystem::path conf = scratch.path() / "conf";
  EXPECT_EQ(config.port, 6697);
  EXPECT_TRUE(config.tls);
  EXPECT_EQ(config.tls_ca, (conf / "ca.pem").string());
  EXPECT_EQ(config.data_dir, (conf / "decks").string());
  EXPECT_EQ(config.encoding, "ISO-2022-JP");
  ASSERT_EQ(config.channels.size(), 2u);
  EXPECT_EQ(config.channels[1].name, "#two");
  EXPECT_EQ(config.channels[1].key, "key2");
  EXPECT_EQ(config.prefix, "deck:");
  EXPECT_FALSE(config.flood_control);
  EXPECT_EQ(config.flood_rate, 2.5);
  EXPECT_FALSE(config.transcripts);
  EXPECT_EQ(config.transcript_files, 20);
  EXPECT_EQ(config.texts.hidden_draw, "{nick} drew {count}");
  EXPECT_EQ(config.texts.help["deal"], "{prefix}deal: deals");  // by the registry's word
  EXPECT_EQ(config.dealer, "ops");
  EXPECT_EQ(config.channel_dealers,
            (std::vector<std::pair<std::string, std::string>>{{"#two", "alice, bob"}}));
}

// The service's passwords come as credentials: files of the credentials directory, for what the
// settings leave empty; a file that is no one-line password is refused.
TEST(ConfigFile, PasswordsComeFromCredentialsTheSettingsLeaveEmpty) {
  ScratchDirectory scratch;
  scratch.Write("sasl_password", "s3cret\n");
  scratch.Write("server_password", "from-file");
  BotConfig config;
  config.server_password = "from-settings";
  EXPECT_EQ(ReadCredentials(scratch.path().string(), config), std::nullopt);
  EXPECT_EQ(config.sasl_password, "s3cret");
  EXPECT_EQ(config.server_password, "from-settings");

  scratch.Write("sasl_password", "one\ntwo\n");
  BotConfig refused;
  EXPECT_NE(ReadCredentials(scratch.path().string(), refused), std::nullopt);
}

TEST(Options, OverrideTheFileWhereverConfigStands) {
  ScratchDirectory scratch;
  scratch.Write("bot.ini", "[server]\nport = 6000\n[bot]\nnick = filenick\nchannel = #file\n");
  LoadedConfig loaded = Load({"--port", "7000", "--channel", "#a", "--config", "bot.ini",
                              "--channel=#b key", "--no-flood-control", "--tls-insecure"});
  ASSERT_TRUE(loaded.config) << loaded.error;
  EXPECT_EQ(loaded.config->port, 7000);
  EXPECT_EQ(loaded.config->nick, "filenick");
  ASSERT_EQ(loaded.config->channels.size(), 2u);  // the file's channel is replaced
  EXPECT_EQ(loaded.config->channels[0].name, "#a");
  EXPECT_EQ(loaded.config->channels[1].key, "key");
  EXPECT_FALSE(loaded.config->flood_control);
  EXPECT_FALSE(loaded.config->tls_verify);
}

TEST(Options, RefuseWrongValuesByName) {
  struct Case {
    std::initializer_list<const char*> arguments;
    const char* error;
  };
  const Case cases[] = {
      {{"--channel", "#a", "--port", "x"}, "--port: \"x\" is not a port number"},
      {{"--channel", "#a", "--encoding", "ebcdic"}, "--encoding: unknown encoding"},
      {{"--channel", "#a", "--bogus"}, "unknown option --bogus"},
      {{"--channel"}, "missing value for --channel"},
      {{"--channel", "#a", "extra"}, "unexpected argument \"extra\""},
      {{"--nick", "bot"}, "no channel to join"},
      {{"--channel", "#a", "--tls-fingerprint", "00"}, "--tls-fingerprint:"},
  };
  for (const Case& test : cases) {
    LoadedConfig loaded = Load(test.arguments);
    EXPECT_FALSE(loaded.config) << test.error;
    EXPECT_NE(loaded.error.find(test.error), std::string::npos) << loaded.error;
  }
}

}  // namespace
}  // namespace deckhand::irc
