// deckhand-irc under load: ngircd on loopback, the bot with its flood control off, and one
// player sending commands one after another in a channel whose save file holds 1,000 or 10,000
// targets. For each command: the time from the player's PRIVMSG to the bot's reply line as the
// player receives it. Beside it, the same commands called straight on the library over the same
// files (the library's share), a PRIVMSG the player sends itself through the server (the
// server's share of one way there and back; a command crosses the server twice), and the
// processor time the bot's process spends per command against the library's calls alone.
//
//
// Then a flood: twenty players each send a burst of commands on a 2,000-card deck in one
// channel, the bot paced as on a public network (its default settings); a newcomer then asks
// !count. The time until the newcomer's answer, and the bot's resident memory before, during and
// at its peak: bursts of 10 and of 100 !check with anyone a dealer, and bursts of !check and
// !peek,1000 under the default dealer rule, where one flooder dealt and the others are refused.
//
//   irc_benchmarks [COMMANDS] [RESULTS.md]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "irc/server/child_process.h"
#include "irc/server/irc_test_client.h"
#include "irc/server/ngircd_server.h"

namespace deckhand::bench {
namespace {

using Clock = std::chrono::steady_clock;
using irc::testing::ChildProcess;
using irc::testing::IrcTestClient;
using irc::testing::NgircdServer;
using irc::testing::WireText;

constexpr const char* kChannel = "#room0";  // the first target of the save file
constexpr const char* kBot = "benchbot";
constexpr std::size_t kWarmUp = 20;

// One round of a game that leaves the deck as full as it found it, so that every round costs
// the same: a fresh deck, draws, a count and a reshuffle.
const std::vector<std::string> kRound{"deck,trump", "draw,1-3", "draw", "count", "shuffle"};

struct Times {
  std::vector<double> microseconds;
  double seconds = 0;      // wall-clock time of the whole run
  double cpu_seconds = 0;  // processor time (user and system) of the process doing the work

  double Percentile(double p) const {
    std::vector<double> sorted = microseconds;
    std::sort(sorted.begin(), sorted.end());
    if (sorted.empty()) return 0;
    std::size_t at = static_cast<std::size_t>(p / 100.0 * static_cast<double>(sorted.size()));
    return sorted[std::min(at, sorted.size() - 1)];
  }
  double PerSecond() const { return static_cast<double>(microseconds.size()) / seconds; }
  double CpuMicrosecondsEach() const {
    return microseconds.empty() ? 0 : cpu_seconds * 1e6 / static_cast<double>(microseconds.size());
  }
};

// Processor time used so far by this process, or by another one (from /proc).
double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double CpuSecondsOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));  // after "pid (name) "
  std::string field;
  double ticks = 0;
  for (int index = 3; fields >> field && index <= 15; ++index) {
    if (index == 14 || index == 15) ticks += std::stod(field);  // utime, stime
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double MicrosecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// The save file of `targets` channels of 52 cards, a mode table and its deck file.
void WriteData(const ScratchDirectory& directory, std::size_t targets) {
  WriteFileDurably(directory.PathOf("trump.ini"), DeckFileOf(StandardCards()));
  WriteFileDurably(directory.PathOf("modes.ini"), ModeTableOf("trump", "trump.ini"));
  WriteFileDurably(directory.PathOf("decksave.ini"), SaveFileOfTargets(targets));
}

DeckhandCommand ExportOf(const std::string& command) {
  std::string word = command.substr(0, command.find(','));
  if (word == "deck") return Deck;
  if (word == "draw") return Draw;
  if (word == "count") return Count;
  return Shuffle;
}

Times TimeLibrary(std::size_t targets, std::size_t commands) {
  ScratchDirectory directory;
  WriteData(directory, targets);
  Times times;
  auto start = Clock::now();
  double cpu_start = OwnCpuSeconds();
  for (std::size_t i = 0; i < kWarmUp + commands; ++i) {
    const std::string& command = kRound[i % kRound.size()];
    HostCall call(ExportOf(command), std::string("player ") + kChannel + " modes.ini " + command);
    auto sent = Clock::now();
    call.Run();
    if (i >= kWarmUp) times.microseconds.push_back(MicrosecondsSince(sent));
    if (i + 1 == kWarmUp) {
      start = Clock::now();
      cpu_start = OwnCpuSeconds();
    }
  }
  times.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  times.cpu_seconds = OwnCpuSeconds() - cpu_start;
  return times;
}

struct ServerRun {
  Times commands;
  Times echo;
  bool complete = false;
};

// The player's PRIVMSGs to itself: what the server adds to one crossing and back.
Times TimeEcho(IrcTestClient& player, std::size_t count) {
  Times times;
  for (std::size_t i = 0; i < count; ++i) {
    auto sent = Clock::now();
    player.Say(player.nick(), "ping");
    if (!player.NextCommand("PRIVMSG")) break;
    times.microseconds.push_back(MicrosecondsSince(sent));
  }
  return times;
}

ServerRun TimeThroughServer(std::size_t targets, std::size_t commands) {
  ServerRun run;
  ScratchDirectory directory;
  WriteData(directory, targets);
  std::filesystem::path server_dir = directory.PathOf("server");
  std::filesystem::create_directories(server_dir);
  NgircdServer server(server_dir, /*flood_penalties=*/false);
  if (!server.Start()) {
    std::fprintf(stderr, "%s\n", server.error().c_str());
    return run;
  }
  IrcTestClient player("player", WireText("utf-8"));
  if (!player.Connect(server.port()) || !player.Join(kChannel)) {
    std::fprintf(stderr, "the player cannot join the server\n");
    return run;
  }
  run.echo = TimeEcho(player, 200);

  ChildProcess bot;
  std::filesystem::path log = server_dir / "bot.log";
  bot.Start({DECKHAND_IRC_PROGRAM, "--server", "127.0.0.1", "--port", std::to_string(server.port()),
             "--nick", kBot, "--channel", kChannel, "--data-dir", directory.PathOf(""), "--plugin",
             DECKHAND_PLUGIN_PATH, "--no-flood-control"},
            log, server_dir);
  bool joined = false;
  while (std::optional<irc::testing::ServerLine> line = player.NextCommand("JOIN")) {
    if (line->nick == kBot) {
      joined = true;
      break;
    }
  }
  if (!joined) {
    std::fprintf(stderr, "the bot did not join:\n%s\n", irc::testing::ReadFile(log).c_str());
    return run;
  }
  auto start = Clock::now();
  double cpu_start = CpuSecondsOf(bot.pid());
  for (std::size_t i = 0; i < kWarmUp + commands; ++i) {
    auto sent = Clock::now();
    player.Say(kChannel, "!" + kRound[i % kRound.size()]);
    if (!player.NextNoticeFrom(kBot)) {
      std::fprintf(stderr, "no reply to command %zu:\n%s\n", i,
                   irc::testing::ReadFile(log).c_str());
      return run;
    }
    if (i >= kWarmUp) run.commands.microseconds.push_back(MicrosecondsSince(sent));
    if (i + 1 == kWarmUp) {
      start = Clock::now();
      cpu_start = CpuSecondsOf(bot.pid());
    }
  }
  run.commands.cpu_seconds = CpuSecondsOf(bot.pid()) - cpu_start;
  run.commands.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.complete = true;
  bot.Stop();
  return run;
}

// A field of /proc/PID/status in kB ("VmRSS:", "VmHWM:"), 0 when unknown.
long StatusKb(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + field.size(), nullptr, 10);
  }
  return 0;
}

struct FloodRun {
  double newcomer_seconds = -1;  // -1: no answer
  long rss_before_kb = 0;
  long rss_peak_kb = 0;    // sampled during the flood
  long high_water_kb = 0;  // VmHWM at the end
  bool complete = false;
};

// `owner_deals`: the default dealer rule, the first flooder owning the deck, so that the others'
// dealer's commands are refused; else anyone may check. Each flooder sends `commands`, in turn.
FloodRun TimeNewcomerUnderFlood(std::size_t players, std::size_t commands_each, bool owner_deals,
                                const std::vector<std::string>& commands) {
  FloodRun run;
  ScratchDirectory directory;
  WriteFileDurably(directory.PathOf("big.ini"), DeckFileOf(NumberedCards(2000)));
  WriteFileDurably(directory.PathOf("modes.ini"), ModeTableOf("big", "big.ini"));
  std::filesystem::path server_dir = directory.PathOf("server");
  std::filesystem::create_directories(server_dir);
  NgircdServer server(server_dir);
  if (!server.Start()) {
    std::fprintf(stderr, "%s\n", server.error().c_str());
    return run;
  }
  std::filesystem::path settings = server_dir / "bot.ini";
  std::ofstream(settings) << (owner_deals ? "[game]\ndealer = owner\n"
                                          : "[game]\ndealer = anyone\n");
  IrcTestClient newcomer("newcomer", WireText("utf-8"));
  std::vector<std::unique_ptr<IrcTestClient>> flooders;
  for (std::size_t i = 0; i < players; ++i) {
    flooders.push_back(
        std::make_unique<IrcTestClient>("flood" + std::to_string(i), WireText("utf-8")));
    if (!flooders.back()->Connect(server.port()) || !flooders.back()->Join(kChannel)) return run;
  }
  if (!newcomer.Connect(server.port()) || !newcomer.Join(kChannel)) return run;
  ChildProcess bot;
  std::filesystem::path log = server_dir / "bot.log";
  bot.Start({DECKHAND_IRC_PROGRAM, "--config", settings.string(), "--server", "127.0.0.1", "--port",
             std::to_string(server.port()), "--nick", kBot, "--channel", kChannel, "--data-dir",
             directory.PathOf(""), "--plugin", DECKHAND_PLUGIN_PATH},
            log, server_dir);
  bool joined = false;
  while (std::optional<irc::testing::ServerLine> line = newcomer.NextCommand("JOIN")) {
    if (line->nick == kBot) {
      joined = true;
      break;
    }
  }
  if (!joined) return run;
  newcomer.Drain(std::chrono::seconds(2));  // the bot's NAMES done
  flooders[0]->Say(kChannel, "!deck,big");
  if (!newcomer.NextNoticeFrom(kBot)) return run;
  run.rss_before_kb = StatusKb(bot.pid(), "VmRSS:");
  for (std::size_t round = 0; round < commands_each; ++round) {
    for (auto& flooder : flooders) flooder->Say(kChannel, commands[round % commands.size()]);
  }
  auto sample = [&] { run.rss_peak_kb = std::max(run.rss_peak_kb, StatusKb(bot.pid(), "VmRSS:")); };
  for (int i = 0; i < 10; ++i) {  // the commands reach the bot and their replies queue
    newcomer.Drain(std::chrono::milliseconds(100));
    sample();
  }
  auto asked = Clock::now();
  newcomer.Say(kChannel, "!count");
  while (Clock::now() - asked < std::chrono::seconds(120)) {
    std::optional<irc::testing::ServerLine> line = newcomer.Next(std::chrono::milliseconds(100));
    sample();
    if (line && line->nick == kBot && line->command == "NOTICE" && line->params.size() == 2 &&
        line->params[0] == kChannel && line->params[1] == "2000") {
      run.newcomer_seconds = std::chrono::duration<double>(Clock::now() - asked).count();
      break;
    }
  }
  for (int i = 0; i < 20; ++i) {  // the flood still going out
    newcomer.Drain(std::chrono::milliseconds(100));
    sample();
  }
  run.high_water_kb = StatusKb(bot.pid(), "VmHWM:");
  run.complete = run.newcomer_seconds >= 0;
  if (!run.complete) std::fprintf(stderr, "no answer:\n%s\n", irc::testing::ReadFile(log).c_str());
  bot.Stop();
  return run;
}

std::string Micro(double us) {
  char text[32];
  if (us >= 1000 || us <= -1000) {
    std::snprintf(text, sizeof text, "%.2f ms", us / 1000);
  } else {
    std::snprintf(text, sizeof text, "%.0f µs", us);
  }
  return text;
}

}  // namespace
}  // namespace deckhand::bench

int main(int argc, char** argv) {
  using namespace deckhand::bench;
  std::size_t commands = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 500;
  std::ostringstream table;
  std::ifstream load("/proc/loadavg");
  std::string one, five, fifteen;
  load >> one >> five >> fifteen;
  table << "# deckhand-irc through ngircd on loopback\n\n"
        << "One player sends commands one after another (a fresh deck, two draws, a count, a "
           "reshuffle, over and over) in a channel of a save file of that many 52-card decks; "
           "the bot runs with its flood control off, ngircd without its flood penalties. Load "
           "average at the start: "
        << one << ", " << five << ", " << fifteen << ".\n\n";
  table << "| targets in the save file | commands | commands/s | PRIVMSG → reply p50 | p99 "
           "| library call p50 | p99 | server, there and back, p50 "
           "| processor time per command: bot | library alone | the bot's own |\n"
        << "|---|---|---|---|---|---|---|---|---|---|---|\n";
  bool complete = true;
  for (std::size_t targets : {1000, 10000}) {
    Times library = TimeLibrary(targets, commands);
    ServerRun run = TimeThroughServer(targets, commands);
    complete &= run.complete;
    if (!run.complete) continue;
    // Processor time, unlike waiting time, is the bot's alone to spend, whatever else runs on
    // the machine: the bot's process less the library's calls is the bot's own share.
    double bot_cpu = run.commands.CpuMicrosecondsEach();
    double library_cpu = library.CpuMicrosecondsEach();
    table << "| " << targets << " | " << commands << " | "
          << static_cast<long>(run.commands.PerSecond()) << " | "
          << Micro(run.commands.Percentile(50)) << " | " << Micro(run.commands.Percentile(99))
          << " | " << Micro(library.Percentile(50)) << " | " << Micro(library.Percentile(99))
          << " | " << Micro(run.echo.Percentile(50)) << " | " << Micro(bot_cpu) << " | "
          << Micro(library_cpu) << " | " << Micro(bot_cpu - library_cpu) << " |\n";
  }
  table << "\n## A newcomer under a flood\n\n"
        << "Twenty players each send a burst of commands on a 2,000-card deck (every reply some "
           "4 KB, told privately in lines of its own, with a line to the channel), the bot paced "
           "as its defaults pace it (5 lines, then one every 2 s), ngircd with its flood "
           "penalties; then a newcomer asks `!count`.\n\n"
        << "| dealer rule, commands | players | commands each | newcomer's answer after | bot's "
           "memory before | during the flood, sampled peak | high-water mark |\n"
           "|---|---|---|---|---|---|---|\n";
  struct Scenario {
    const char* name;
    bool owner_deals;
    std::vector<std::string> commands;
    std::size_t each;
  };
  const Scenario scenarios[] = {
      {"anyone, `!check`", false, {"!check"}, 10},
      {"anyone, `!check`", false, {"!check"}, 100},
      // The default rule: one flooder dealt; the other 19 are refused their dealer's commands.
      {"owner, `!check` and `!peek,1000`", true, {"!check", "!peek,1000"}, 10},
  };
  for (const Scenario& scenario : scenarios) {
    FloodRun flood =
        TimeNewcomerUnderFlood(20, scenario.each, scenario.owner_deals, scenario.commands);
    complete &= flood.complete;
    char row[200];
    std::snprintf(row, sizeof row, "| %s | 20 | %zu | %.1f s | %.1f MB | %.1f MB | %.1f MB |\n",
                  scenario.name, scenario.each, flood.newcomer_seconds,
                  flood.rss_before_kb / 1024.0, flood.rss_peak_kb / 1024.0,
                  flood.high_water_kb / 1024.0);
    table << (flood.complete ? row
                             : "| " + std::string(scenario.name) + " | 20 | no answer | | | |\n");
  }
  std::string text = table.str();
  std::fputs(text.c_str(), stdout);
  if (argc > 2) std::ofstream(argv[2]) << text;
  return complete ? 0 : 1;
}
