// The five exports called as a host calls them, on real files in a scratch directory, against
// save files of many targets and card sets of many cards, next to the floors: what reading the
// save file, and reading and replacing it, cost with no INI work at all.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "deckhand/table.h"
#include "floor.h"

namespace deckhand::bench {
namespace {

constexpr std::string_view kSaveFile = "decksave.ini";
constexpr std::string_view kModeTable = "modes.ini";
constexpr std::string_view kDeckFile = "cards.ini";
constexpr std::string_view kMode = "cards";

// The library's fixed replies (Shift_JIS): "デッキセット:" and "シャッフルしました".
constexpr std::string_view kDeckSetText = "\x83\x66\x83\x62\x83\x4C\x83\x5A\x83\x62\x83\x67\x3A";
constexpr std::string_view kShuffledText =
    "\x83\x56\x83\x83\x83\x62\x83\x74\x83\x8B\x82\xB5\x82\xDC\x82\xB5\x82\xBD";

const std::vector<long> kTargetCounts = {1, 100, 1000, 10000};
const std::vector<long> kCardSetSizes = {52, 1000, 10000, 100000};
constexpr std::size_t kBigDeck = 100000;

// What a reply must say (the text after "NOTICE <target> ") for the run to count: a command
// that is not built, or that fails, must not be timed as if it worked.
using ReplyCheck = std::function<bool(std::string_view text)>;

bool IsStandardCard(std::string_view text) {
  const std::vector<std::string>& cards = StandardCards();
  return std::find(cards.begin(), cards.end(), text) != cards.end();
}

struct Scene {
  std::string target;
  std::string save_file;  // the save file's bytes before the first call
  std::vector<std::string> card_set;
};

struct Command {
  const char* name;
  DeckhandCommand function;
  std::string command_text;
  ReplyCheck reply_ok;
  bool saves = false;
  // Commands that use up the deck get the save file back before each call, untimed.
  bool restore_before_each_call = false;
};

std::string HostLine(const std::string& target, std::string_view command_text) {
  return "alice " + target + " " + std::string(kModeTable) + " " + std::string(command_text);
}

void WriteScene(const ScratchDirectory& scratch, const Scene& scene) {
  WriteFileDurably(scratch.PathOf(kSaveFile), scene.save_file);
  WriteFileDurably(scratch.PathOf(kModeTable), ModeTableOf(kMode, kDeckFile));
  WriteFileDurably(scratch.PathOf(kDeckFile), DeckFileOf(scene.card_set));
}

// One call before timing: the reply must be what the command promises, and a saving command
// must have changed the save file.
bool Probe(benchmark::State& state, const ScratchDirectory& scratch, const Scene& scene,
           const Command& command, HostCall& call) {
  std::string reply(call.Run());
  std::string head = "NOTICE " + scene.target + " ";
  if (reply.compare(0, head.size(), head) != 0 || !command.reply_ok(reply.substr(head.size()))) {
    state.SkipWithError((std::string(command.name) + " did not reply as expected").c_str());
    return false;
  }
  if (command.saves && ReadFileFloor(scratch.PathOf(kSaveFile)).View() == scene.save_file) {
    state.SkipWithError((std::string(command.name) + " did not change the save file").c_str());
    return false;
  }
  return true;
}

void RunCommand(benchmark::State& state, const Command& command, const Scene& scene) {
  ScratchDirectory scratch;
  WriteScene(scratch, scene);
  HostCall call(command.function, HostLine(scene.target, command.command_text));
  if (!Probe(state, scratch, scene, command, call)) return;
  std::string save_path = scratch.PathOf(kSaveFile);
  WriteFileDurably(save_path, scene.save_file);

  for (auto _ : state) {
    if (command.restore_before_each_call) {
      state.PauseTiming();
      WriteFileDurably(save_path, scene.save_file);
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(call.Run());
  }
  state.counters["save_bytes"] = static_cast<double>(scene.save_file.size());
}

// The last target of the file: every other entry lies before it.
Scene SceneOfTargets(std::size_t targets) {
  return Scene{TargetName(targets - 1), SaveFileOfTargets(targets), StandardCards()};
}

Scene SceneOfCardSet(std::size_t cards) {
  std::string target = TargetName(0);
  return Scene{target, SaveFileOfDeck(target, StandardCards()), NumberedCards(cards)};
}

Scene SceneOfBigDeck() {
  std::string target = TargetName(0);
  return Scene{target, SaveFileOfDeck(target, NumberedCards(kBigDeck)), StandardCards()};
}

// --- The floors -------------------------------------------------------------------------

void ReadFloor(benchmark::State& state) {
  ScratchDirectory scratch;
  const std::string& content = SaveFileOfTargets(static_cast<std::size_t>(state.range(0)));
  std::string path = scratch.PathOf(kSaveFile);
  WriteFileDurably(path, content);
  for (auto _ : state) benchmark::DoNotOptimize(ReadFileFloor(path));
  state.counters["save_bytes"] = static_cast<double>(content.size());
}

void ReadReplaceFloor(benchmark::State& state) {
  ScratchDirectory scratch;
  const std::string& content = SaveFileOfTargets(static_cast<std::size_t>(state.range(0)));
  std::string path = scratch.PathOf(kSaveFile);
  WriteFileDurably(path, content);
  for (auto _ : state) ReplaceFileFloor(path, ReadFileFloor(path).View());
  state.counters["save_bytes"] = static_cast<double>(content.size());
}

// --- The commands -----------------------------------------------------------------------

Command CountCommand() {
  return Command{"Count", &Count, "count",
                 [](std::string_view text) { return text == std::to_string(kStandardDeckSize); }};
}

Command CheckCommand() {
  return Command{"Check", &Check, "check", [](std::string_view text) {
                   return text.size() > 1 && IsStandardCard(text.substr(0, text.find(',')));
                 }};
}

Command DeckCommand() {
  return Command{"Deck", &Deck, "deck," + std::string(kMode),
                 [](std::string_view text) { return text == std::string(kDeckSetText) + "cards"; },
                 true};
}

Command DrawCommand() { return Command{"Draw", &Draw, "draw,1", IsStandardCard, true, true}; }

Command ShuffleCommand() {
  return Command{"Shuffle", &Shuffle, "shuffle",
                 [](std::string_view text) { return text == kShuffledText; }, true};
}

// Draws from the 100,000-card deck: text up to the reply's limit, starting with a card.
Command BigDraw(std::string selector) {
  return Command{"Draw",
                 &Draw,
                 "draw," + selector,
                 [](std::string_view text) {
                   return text.substr(0, 6) == "\x83\x4A\x81\x5B\x83\x68";  // カード
                 },
                 true,
                 true};
}

// Every `step`-th position from the top, as one token each: "1,11,21,...".
std::string EveryNthPosition(std::size_t step) {
  std::string selector;
  for (std::size_t position = 1; position <= kBigDeck; position += step) {
    if (!selector.empty()) selector += ',';
    selector += std::to_string(position);
  }
  return selector;
}

// The same position named over and over: "5,5,5,...".
std::string RepeatedPosition(std::size_t tokens) {
  std::string selector = "5";
  for (std::size_t i = 1; i < tokens; ++i) selector += ",5";
  return selector;
}

// --- The table's commands ------------------------------------------------------------------

// The table's commands as deckhand and deckhand-irc call them (linked from the core), on the
// last target of the same save files, whose table holds two players' hands and a discard pile.
// Each run must end as the command promises, or the series is not timed.
struct TableCommand {
  const char* name;
  std::function<table::Result(const std::string& target)> run;
  bool saves = true;
};

constexpr std::string_view kHandCards = "UUUUU:A,B,C,D,E";

// `play` with transcripts on, as deckhand and deckhand-irc turn them on.
template <typename Play>
table::Result Recorded(Play play) {
  table::SetTranscripts({true});
  table::Result result = play();
  table::SetTranscripts({});
  return result;
}

std::string SaveFileWithTable(std::size_t targets) {
  std::string target = TargetName(targets - 1);
  return SaveFileOfTargets(targets) + "[TABLE]\r\n" + target + ",,deck=U," + std::string(kMode) +
         "\r\n" + target + ",,discard=" + std::string(kHandCards) + "\r\n" + target +
         ",,hand,alice=" + std::string(kHandCards) + "\r\n" + target +
         ",,hand,bob=" + std::string(kHandCards) + "\r\n";
}

void RunTableCommand(benchmark::State& state, const TableCommand& command, std::size_t targets) {
  ScratchDirectory scratch;
  Scene scene{TargetName(targets - 1), SaveFileWithTable(targets), StandardCards()};
  WriteScene(scratch, scene);
  std::string save_path = scratch.PathOf(kSaveFile);
  table::Result probe = command.run(scene.target);
  if (probe.outcome != table::Outcome::kDone) {
    state.SkipWithError((std::string(command.name) + " did not do what it promises").c_str());
    return;
  }
  bool changed = ReadFileFloor(save_path).View() != scene.save_file;
  if (changed != command.saves) {
    state.SkipWithError((std::string(command.name) +
                         (command.saves ? " did not change" : " changed") + " the save file")
                            .c_str());
    return;
  }
  WriteFileDurably(save_path, scene.save_file);
  for (auto _ : state) {
    // Every command that saves gets the file back before each call, untimed, so that each call
    // finds the cards it moves.
    if (command.saves) {
      state.PauseTiming();
      WriteFileDurably(save_path, scene.save_file);
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(command.run(scene.target));
  }
  state.counters["save_bytes"] = static_cast<double>(scene.save_file.size());
}

std::vector<TableCommand> TableCommands() {
  const std::string modes(kModeTable);
  const std::string mode(kMode);
  return {
      {"TableDeck", [=](const std::string& t) { return table::DealDeck(t, "", modes, mode); }},
      {"TableShuffle", [](const std::string& t) { return table::ShuffleDeck(t, ""); }},
      // As the bots play: every game recorded, here each call beginning a game of its own
      // (the save file comes back before each), the transcripts' worst case.
      {"TableDeckRecorded",
       [=](const std::string& t) {
         return Recorded([&] { return table::DealDeck(t, "", modes, mode); });
       }},
      {"TableShuffleRecorded",
       [](const std::string& t) { return Recorded([&] { return table::ShuffleDeck(t, ""); }); }},
      {"TableRecall", [](const std::string& t) { return table::RecallCards(t, "", true); }},
      {"TableDraw", [](const std::string& t) { return table::DrawCards(t, "", "1", ""); }},
      {"TableHiddenDraw",
       [](const std::string& t) { return table::DrawCards(t, "", "1", "alice"); }},
      {"TableDeal",
       [](const std::string& t) {
         return table::DealCards(t, "", 5, {"alice", "bob"});
       }},
      {"TablePlay", [](const std::string& t) { return table::PlayCards(t, "", "alice", "1,3"); }},
      {"TableGive",
       [](const std::string& t) { return table::GiveCards(t, "", "alice", "bob", "2"); }},
      {"TableHand", [](const std::string& t) { return table::ShowHand(t, "", "alice"); }, false},
      {"TableDescribe", [](const std::string& t) { return table::DescribeTable(t, ""); }, false},
  };
}

benchmark::internal::Benchmark* Configure(benchmark::internal::Benchmark* b) {
  return b->Unit(benchmark::kMicrosecond)->UseRealTime();
}

void RegisterSaveFileSeries(const char* name, void (*run)(benchmark::State&)) {
  auto* b = Configure(benchmark::RegisterBenchmark(name, run))->ArgName("targets");
  for (long targets : kTargetCounts) b->Arg(targets);
}

void RegisterCommandSeries(const Command& command) {
  auto* b =
      Configure(benchmark::RegisterBenchmark(command.name, [command](benchmark::State& state) {
        RunCommand(state, command, SceneOfTargets(static_cast<std::size_t>(state.range(0))));
      }))->ArgName("targets");
  for (long targets : kTargetCounts) b->Arg(targets);
}

void RegisterBigDraw(const std::string& label, std::string selector) {
  Command command = BigDraw(std::move(selector));
  Configure(benchmark::RegisterBenchmark(
      ("DrawBigDeck/" + label).c_str(),
      [command](benchmark::State& state) { RunCommand(state, command, SceneOfBigDeck()); }));
}

void RegisterAll() {
  RegisterSaveFileSeries("ReadFloor", ReadFloor);
  RegisterSaveFileSeries("ReadReplaceFloor", ReadReplaceFloor);
  for (const Command& command :
       {CountCommand(), CheckCommand(), DeckCommand(), DrawCommand(), ShuffleCommand()}) {
    RegisterCommandSeries(command);
  }

  for (const TableCommand& command : TableCommands()) {
    auto* b =
        Configure(benchmark::RegisterBenchmark(command.name, [command](benchmark::State& state) {
          RunTableCommand(state, command, static_cast<std::size_t>(state.range(0)));
        }))->ArgName("targets");
    for (long targets : kTargetCounts) b->Arg(targets);
  }

  auto* card_sets =
      Configure(benchmark::RegisterBenchmark("DeckCardSet", [](benchmark::State& state) {
        RunCommand(state, DeckCommand(), SceneOfCardSet(static_cast<std::size_t>(state.range(0))));
      }))->ArgName("cards");
  for (long cards : kCardSetSizes) card_sets->Arg(cards);

  RegisterBigDraw("range:1-4294967295", "1-4294967295");
  RegisterBigDraw("range:1--1", "1--1");
  RegisterBigDraw("positions:1000", EveryNthPosition(100));
  RegisterBigDraw("positions:10000", EveryNthPosition(10));
  RegisterBigDraw("repeated:10000", RepeatedPosition(10000));
}

}  // namespace
}  // namespace deckhand::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  deckhand::bench::RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
