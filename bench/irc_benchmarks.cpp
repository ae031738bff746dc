// deckhand-irc under load: ngircd on loopback, the bot with its flood control off, and one
// player sending commands one after another in a channel whose save file holds 1,000 or 10,000
// targets. For each command: the time from the player's PRIVMSG to the bot's reply line as the
// player receives it. Beside it, the same commands called straight on the library over the same
// files (the library's share), a PRIVMSG the player sends itself through the server (the
// server's share of one way there and back; a command crosses the server twice), and the
// processor time the bot's process spends per command against the library's calls alone.
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
  double seconds = 0;  // wall-clock time of the whole run
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
  bot.Start({DECKHAND_IRC_PROGRAM, "--server", "127.0.0.1", "--port",
             std::to_string(server.port()), "--nick", kBot, "--channel", kChannel,
             "--data-dir", directory.PathOf(""), "--plugin", DECKHAND_PLUGIN_PATH,
             "--no-flood-control"},
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
  std::string text = table.str();
  std::fputs(text.c_str(), stdout);
  if (argc > 2) std::ofstream(argv[2]) << text;
  return complete ? 0 : 1;
}
