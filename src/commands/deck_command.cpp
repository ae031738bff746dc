// Deck: deals the target a fresh shuffled deck of the card set that a mode names.
#include <cstdint>
#include <optional>
#include <string>

#include "commands/command_frame.h"
#include "commands/commands.h"
#include "commands/reply_texts.h"
#include "random/random.h"
#include "storage/data_path.h"
#include "storage/ini_access.h"
#include "storage/saved_decks.h"

namespace deckhand {
namespace {

// The mode table maps mode names to deck files in this section.
constexpr std::string_view kModeSection = "MODE";
// A deck file lists its cards in this section: the count under "Max", the names under 1, 2, ...
constexpr std::string_view kCardSetSection = "DECK";
constexpr std::string_view kCardCountKey = "Max";

// The most cards a deck file may ask for. A larger "Max" is a slip of the keyboard far more
// often than a real card set, and dealing it would fill memory and the save file with empty
// names; such a card set is refused as one that cannot be dealt.
constexpr std::int32_t kMaxCardSetSize = 100000;

// The mode name: everything after the first comma of the command text, further commas included.
std::string ModeName(std::string_view command_text) { return SplitText(command_text, ",", 2)[1]; }

// The cards of a deck file in the file's order, a missing entry as an empty name; nullopt when
// the file asks for more than kMaxCardSetSize cards. The file is read once for all entries.
std::optional<CardList> ReadCardSet(std::string_view deck_file) {
  IniSection entries = IniSection::Read(MakeDataPath(deck_file), kCardSetSection);
  std::int32_t count = entries.Number(kCardCountKey);
  if (count > kMaxCardSetSize) return std::nullopt;
  CardList cards;
  if (count > 0) cards.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 1; i <= count; ++i) cards.push_back(entries.Text(FormatDecimal(i)));
  return cards;
}

}  // namespace

void DeckCommand(const char* line, char* reply) {
  CommandFields fields = CutCommandFields(line);
  // A line without a target, a mode table or a command text is not one a host sends: it gets no
  // reply and changes nothing. Neither does a target too long to head a reply.
  if (!fields.target || !fields.mode_table || !fields.command_text) return;
  if (!ReplyTextRoom(*fields.target)) return;

  std::string mode = ModeName(*fields.command_text);
  if (mode.empty()) return;
  std::string deck_file = ReadIniText(MakeDataPath(*fields.mode_table), kModeSection, mode);
  if (deck_file.empty()) return;
  std::optional<CardList> cards = ReadCardSet(deck_file);
  if (!cards) return;

  SystemRandom generator;
  if (!ShuffleCards(*cards, generator)) {
    WriteReply(reply, *fields.target, kShuffleFailedText);
    return;
  }
  // The reply tells what happened, so it is written only once the save is settled. SaveDeck
  // holds the save file's lock while it rewrites the file, so no other caller's save is lost.
  if (!SaveDeck(*fields.target, *cards)) {
    WriteReply(reply, *fields.target, kSaveFailedText);
    return;
  }
  WriteReply(reply, *fields.target, kDeckSetText, mode);
}

}  // namespace deckhand
