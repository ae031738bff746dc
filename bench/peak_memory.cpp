// Peak memory of one Deck, each measured in a fresh process: the program writes a mode table
// and a deck file of the given number of cards into a scratch directory, then starts itself
// again to make the one call and report its resident-set high-water mark (Linux VmHWM) before
// and after it.
//
//   deckhand_peak_memory [cards ...]      (default: 52 100000), one JSON object per line
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"

extern char** environ;

namespace deckhand::bench {
namespace {

constexpr std::string_view kMeasureFlag = "--measure-in-this-process";
constexpr std::string_view kDeckSetText = "\x83\x66\x83\x62\x83\x4C\x83\x5A\x83\x62\x83\x67\x3A";

// The high-water mark of this process image's resident set, in KiB. Read from /proc rather
// than getrusage: the process is started with posix_spawn, and getrusage's maximum carries over
// the parent's high-water mark across the exec, where VmHWM belongs to the new image alone.
long PeakResidentKib() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  }
  std::fclose(status);
  return kib;
}

// In the fresh process, whose current directory holds the files: one Deck call.
int MeasureDeck(const char* cards, const char* deck_file_bytes) {
  HostCall call(&Deck, "alice #room0 modes.ini deck,cards");
  long before = PeakResidentKib();
  std::string reply(call.Run());
  long after = PeakResidentKib();
  if (reply != "NOTICE #room0 " + std::string(kDeckSetText) + "cards") {
    std::fprintf(stderr, "Deck did not reply as expected\n");
    return 1;
  }
  std::printf(
      "{\"command\": \"Deck\", \"cards\": %s, \"deck_file_bytes\": %s, "
      "\"peak_before_call_kib\": %ld, \"peak_kib\": %ld}\n",
      cards, deck_file_bytes, before, after);
  std::fflush(stdout);
  return 0;
}

int MeasureInFreshProcess(std::size_t cards) {
  ScratchDirectory scratch;
  std::string deck_file = DeckFileOf(NumberedCards(cards));
  WriteFileDurably(scratch.PathOf("modes.ini"), ModeTableOf("cards", "cards.ini"));
  WriteFileDurably(scratch.PathOf("cards.ini"), deck_file);
  WriteFileDurably(scratch.PathOf("decksave.ini"), SaveFileOfDeck("#room0", StandardCards()));

  std::string self = "/proc/self/exe";
  std::string flag(kMeasureFlag);
  std::string count = std::to_string(cards);
  std::string bytes = std::to_string(deck_file.size());
  std::vector<char*> args = {self.data(), flag.data(), count.data(), bytes.data(), nullptr};
  pid_t child = 0;
  if (::posix_spawn(&child, self.c_str(), nullptr, nullptr, args.data(), environ) != 0) {
    std::perror("posix_spawn");
    return 1;
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace
}  // namespace deckhand::bench

int main(int argc, char** argv) {
  if (argc == 4 && argv[1] == deckhand::bench::kMeasureFlag) {
    return deckhand::bench::MeasureDeck(argv[2], argv[3]);
  }
  std::vector<std::size_t> card_counts;
  for (int i = 1; i < argc; ++i) card_counts.push_back(std::strtoul(argv[i], nullptr, 10));
  if (card_counts.empty()) card_counts = {52, 100000};
  int failures = 0;
  for (std::size_t cards : card_counts) failures += deckhand::bench::MeasureInFreshProcess(cards);
  return failures == 0 ? 0 : 1;
}
