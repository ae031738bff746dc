#include "host/common/table_chat.h"

#include <exception>
#include <optional>
#include <utility>

#include "deckhand/table.h"
#include "host/common/ascii.h"
#include "host/common/fill_text.h"

namespace deckhand::host {
namespace {

using table::Card;
using table::Cards;
using table::Outcome;
using table::Result;

// The most bytes of card names a view of a pile shows (check, peek, hand, discards): about what
// one reply line of the library holds. Cards moved are always all named.
constexpr std::size_t kMostShownBytes = 4000;
constexpr std::string_view kMore = ",...";
// Between the players a line names: 、
constexpr std::string_view kListSeparator = "\x81\x41";
// How many hex digits of a commitment a reply that reports a shuffle shows (!fair shows all).
constexpr std::size_t kShownCommitmentDigits = 16;
// The most revealed seeds the place is told one line each; the transcript holds every one.
constexpr std::size_t kMostRevealedLines = 32;

using Fills = std::initializer_list<std::pair<std::string_view, std::string_view>>;

std::string Fill(std::string_view text, Fills fills) { return FillPlaceholders(text, fills); }

std::optional<std::string> PlayerNamed(const TableCommand& command, std::string_view name) {
  if (!command.player_named) return std::string(name);
  return command.player_named(name);
}

std::string Shown(const TableCommand& command, std::string_view key) {
  return command.shown ? command.shown(key) : std::string(key);
}

// One command being answered.
class Answer {
 public:
  Answer(const TableCommand& command, const TableTexts& texts, const ChatCommandInfo& info,
         std::string_view deck)
      : command_(command), texts_(texts), deck_(deck) {
    answer_.command = &info;
    answer_.deck = deck;
  }

  // The answer, with the status of the last refusal, or kDone when the command ran.
  TableAnswer Finish(bool ran) {
    answer_.is_command = true;
    answer_.status = ran ? AnswerStatus::kDone : status_;
    answer_.dealt_main_deck =
        ran && answer_.command->id == CommandId::kDeck && answer_.deck.empty();
    return std::move(answer_);
  }

  bool InPrivate() const {
    return command_.private_table || EqualIgnoringCase(command_.place, command_.player);
  }

  void ToPlace(std::string_view text) { Add(command_.place, text, false); }
  void ToPlayer(std::string_view text, bool secret = false) { Add(command_.player, text, secret); }
  void To(std::string_view who, std::string_view text, bool secret) { Add(who, text, secret); }

  // The cards joined by commas as Draw joins them, each reversed one marked.
  std::string CardsText(const Cards& cards, std::size_t most_bytes = std::string::npos) const {
    std::string text;
    for (std::size_t i = 0; i < cards.size(); ++i) {
      std::string shown = cards[i].name;
      if (cards[i].reversed) shown += texts_.reversed_mark;
      if (i > 0 && text.size() + 1 + shown.size() > most_bytes) {
        text += kMore;
        break;
      }
      if (i > 0) text += ',';
      text += shown;
    }
    return text;
  }

  // Keeps what the table said for the host, and says why a command was refused or failed, to
  // whoever the library's own reply would go (the place) or to the player.
  bool Refuse(const Result& result, std::string_view name = {}, std::string_view mode = {}) {
    std::string count;
    std::string who = name.empty() ? Shown(command_, command_.player) : std::string(name);
    answer_.outcome = result.outcome;
    answer_.mode = result.mode;
    answer_.deck_file = result.deck_file;
    status_ = AnswerStatus::kRefused;
    switch (result.outcome) {
      case Outcome::kDone:
        return true;
      case Outcome::kNoCards:
        ToPlace(texts_.no_cards);
        status_ = AnswerStatus::kNoCards;
        break;
      case Outcome::kNothingSelected:
        ToPlace(texts_.nothing_drawn);
        status_ = AnswerStatus::kNoCards;
        break;
      case Outcome::kSaveFailed:
        ToPlace(texts_.save_failed);
        status_ = AnswerStatus::kFailed;
        break;
      case Outcome::kShuffleFailed:
        ToPlace(texts_.shuffle_failed);
        status_ = AnswerStatus::kFailed;
        break;
      case Outcome::kDeckFileUnreadable:
        ToPlace(texts_.deck_file_unreadable);
        status_ = AnswerStatus::kFailed;
        break;
      case Outcome::kBadName:
        ToPlayer(Fill(texts_.bad_name, {{"{nick}", who}}));
        break;
      case Outcome::kNoSuchDeck:
        ToPlayer(Fill(texts_.no_such_deck, {{"{deck}", deck_}}));
        break;
      case Outcome::kNoMode:
        ToPlayer(texts_.no_mode);
        break;
      case Outcome::kNoModeTable:
      case Outcome::kNoSuchMode:
        ToPlayer(Fill(texts_.no_such_mode, {{"{mode}", mode}}));
        break;
      case Outcome::kCardSetTooLarge:
        ToPlayer(Fill(texts_.card_set_too_large, {{"{mode}", mode}}));
        break;
      case Outcome::kNotEnoughCards:
        count = std::to_string(result.draw_pile);
        ToPlayer(Fill(texts_.not_enough_cards, {{"{count}", count}}));
        break;
      case Outcome::kBadCount:
        ToPlayer(texts_.bad_count);
        break;
      case Outcome::kBeyondHand:
        count = std::to_string(HandSize(result, command_.player));
        ToPlayer(Fill(texts_.beyond_hand, {{"{count}", count}}));
        break;
      case Outcome::kGiveToSelf:
        ToPlayer(texts_.give_to_self);
        break;
      case Outcome::kPlayerTwice:
        ToPlayer(Fill(texts_.player_twice, {{"{nick}", who}}));
        break;
      case Outcome::kTooManyDecks:
        count = std::to_string(table::kMaxNamedDecks);
        ToPlayer(Fill(texts_.too_many_decks, {{"{count}", count}}));
        break;
      case Outcome::kBadSeed:
        ToPlayer(texts_.bad_seed);
        break;
      case Outcome::kTooManySeeds:
        count = std::to_string(table::kMaxPlayerSeeds);
        ToPlayer(Fill(texts_.too_many_seeds, {{"{count}", count}}));
        break;
    }
    return false;
  }

  void RefuseText(std::string_view text) {
    status_ = AnswerStatus::kRefused;
    ToPlayer(text);
  }

  // A line about the deck: a named deck's lines carry its label.
  std::string Labelled(std::string_view text) const {
    if (deck_.empty()) return std::string(text);
    return Fill(texts_.deck_label, {{"{deck}", deck_}}) + std::string(text);
  }

 private:
  static std::size_t HandSize(const Result& result, std::string_view player) {
    for (const table::HandSize& hand : result.hands) {
      if (EqualIgnoringCase(hand.player, player)) return hand.cards;
    }
    return 0;
  }

  void Add(std::string_view to, std::string_view text, bool secret) {
    answer_.lines.push_back(ChatLine{std::string(to), Labelled(text), secret});
  }

  const TableCommand& command_;
  const TableTexts& texts_;
  std::string_view deck_;
  TableAnswer answer_;
  AnswerStatus status_ = AnswerStatus::kRefused;
};

// The pieces of "WORD[@DECK][,ARGS]".
struct Parsed {
  const ChatCommandInfo* word = nullptr;
  std::string_view deck;
  bool names_deck = false;
  std::string_view arguments;
};

// One command played at the table: one method per command word, each calling the table once and
// saying what happened. False when the command was refused or failed (the answer says why).
class Play {
 public:
  Play(const TableCommand& command, const TableTexts& texts, const Parsed& parsed, Answer& answer)
      : c_(command), t_(texts), deck_(parsed.deck), args_(parsed.arguments), answer_(answer) {}

  bool Deck() {
    Result r = table::DealDeck(c_.place, deck_, c_.modes_file, args_);
    if (!answer_.Refuse(r, {}, args_)) return false;
    TellRevealed(r);
    answer_.ToPlace(WithCommitment(Fill(t_.deck_set, {{"{mode}", args_}}), r));
    return true;
  }

  bool Shuffle() {
    Result r = table::ShuffleDeck(c_.place, deck_);
    if (!answer_.Refuse(r)) return false;
    answer_.ToPlace(WithCommitment(t_.shuffled, r));
    return true;
  }

  bool Recall() {
    bool all = EqualIgnoringCase(args_, "all");
    if (!all && !args_.empty()) return BadArgument();
    Result r = table::RecallCards(c_.place, deck_, all);
    if (!answer_.Refuse(r)) return false;
    std::string count = std::to_string(r.recalled);
    answer_.ToPlace(WithCommitment(Fill(t_.recalled, {{"{count}", count}}), r));
    return true;
  }

  bool Draw() {
    Result r = table::DrawCards(c_.place, deck_, args_, "");
    AnnounceAutoRecall(r);
    if (!answer_.Refuse(r)) return false;
    answer_.ToPlace(answer_.CardsText(r.cards));
    return true;
  }

  // The cards to the player alone; the channel hears how many (not in a private table, where
  // the player is the channel).
  bool HiddenDraw() {
    Result r = table::DrawCards(c_.place, deck_, args_, c_.player);
    AnnounceAutoRecall(r);
    if (!answer_.Refuse(r)) return false;
    answer_.ToPlayer(answer_.CardsText(r.cards), true);
    if (!answer_.InPrivate()) {
      std::string count = std::to_string(r.cards.size());
      answer_.ToPlace(Fill(t_.hidden_draw, {{"{nick}", Shown(c_, c_.player)}, {"{count}", count}}));
    }
    return true;
  }

  // "N,NICK[,NICK...]"
  bool Deal() {
    std::vector<std::string> pieces = SplitAtCommas(args_);
    std::optional<std::size_t> count = ReadCount(pieces.front());
    std::vector<std::string> players(pieces.begin() + 1, pieces.end());
    if (!count) {
      answer_.RefuseText(t_.bad_count);
      return false;
    }
    std::vector<std::string> keys;
    for (const std::string& player : players) {
      std::optional<std::string> key = PlayerNamed(c_, player);
      if (!key) return NoSuchPlayer(player);
      keys.push_back(std::move(*key));
    }
    Result r = table::DealCards(c_.place, deck_, *count, keys);
    AnnounceAutoRecall(r);
    if (!answer_.Refuse(r, r.player.empty() ? "" : Shown(c_, r.player))) return false;
    // The place hears of the whole deal in one line, before the players' own lines, which may be
    // many.
    std::string players_dealt;
    for (const auto& dealt : r.dealt) {
      if (!players_dealt.empty()) players_dealt += kListSeparator;
      players_dealt += Shown(c_, dealt.first);
    }
    std::string each = std::to_string(*count);
    answer_.ToPlace(Fill(t_.dealt, {{"{nick}", players_dealt}, {"{count}", each}}));
    for (const auto& [player, cards] : r.dealt) answer_.To(player, answer_.CardsText(cards), true);
    return true;
  }

  bool Hand() {
    Result r = table::ShowHand(c_.place, deck_, c_.player);
    if (!answer_.Refuse(r)) return false;
    answer_.ToPlayer(r.cards.empty() ? t_.no_hand : answer_.CardsText(r.cards, kMostShownBytes),
                     true);
    return true;
  }

  bool PlayCards() {
    Result r = table::PlayCards(c_.place, deck_, c_.player, args_);
    if (!answer_.Refuse(r)) return false;
    std::string cards = answer_.CardsText(r.cards);
    answer_.ToPlace(Fill(t_.played, {{"{nick}", Shown(c_, c_.player)}, {"{cards}", cards}}));
    return true;
  }

  bool Discard() {
    Result r = table::DiscardCards(c_.place, deck_, c_.player, args_);
    if (!answer_.Refuse(r)) return false;
    std::string count = std::to_string(r.cards.size());
    answer_.ToPlace(Fill(t_.discarded, {{"{nick}", Shown(c_, c_.player)}, {"{count}", count}}));
    return true;
  }

  // "NICK,SEL"
  bool Give() {
    std::size_t comma = args_.find(',');
    std::string_view receiver = args_.substr(0, comma);
    std::string_view selector = comma == std::string_view::npos ? "" : args_.substr(comma + 1);
    std::optional<std::string> key = PlayerNamed(c_, receiver);
    if (!key) return NoSuchPlayer(receiver);
    Result r = table::GiveCards(c_.place, deck_, c_.player, *key, selector);
    if (!answer_.Refuse(r, receiver)) return false;
    std::string cards = answer_.CardsText(r.cards);
    std::string count = std::to_string(r.cards.size());
    std::string giver = Shown(c_, c_.player);
    answer_.To(*key, Fill(t_.received, {{"{nick}", giver}, {"{cards}", cards}}), true);
    answer_.ToPlace(
        Fill(t_.given, {{"{nick}", giver}, {"{to}", Shown(c_, *key)}, {"{count}", count}}));
    return true;
  }

  // The face-up discards, newest first, then how many lie face down.
  bool Discards() {
    Result r = table::ShowDiscards(c_.place, deck_);
    if (!answer_.Refuse(r)) return false;
    std::erase_if(r.cards, [](const Card& card) { return card.face_down; });
    std::string face_down = std::to_string(r.discard_pile - r.cards.size());
    std::string line = answer_.CardsText(r.cards, kMostShownBytes);
    if (r.cards.size() < r.discard_pile) {
      line += (line.empty() ? "" : " ") + Fill(t_.face_down_discards, {{"{count}", face_down}});
    }
    answer_.ToPlace(r.discard_pile == 0 ? t_.no_discards : line);
    return true;
  }

  bool Table() {
    Result r = table::DescribeTable(c_.place, deck_);
    if (!answer_.Refuse(r)) return false;
    std::string draw = std::to_string(r.draw_pile);
    std::string discards = std::to_string(r.discard_pile);
    std::string line = Fill(t_.table, {{"{count}", draw}, {"{discards}", discards}});
    for (const table::HandSize& hand : r.hands) {
      std::string cards = std::to_string(hand.cards);
      line += Fill(t_.table_hand, {{"{nick}", Shown(c_, hand.player)}, {"{count}", cards}});
    }
    answer_.ToPlace(line);
    return true;
  }

  bool Count() {
    Result r = table::DescribeTable(c_.place, deck_);
    if (!answer_.Refuse(r)) return false;
    answer_.ToPlace(std::to_string(r.draw_pile));
    return true;
  }

  bool Check() {
    Result r = table::DescribeTable(c_.place, deck_);
    if (!answer_.Refuse(r)) return false;
    answer_.ToPlace(r.cards.empty() ? t_.empty_check : answer_.CardsText(r.cards, kMostShownBytes));
    return true;
  }

  // The top N cards (1 without N) to the dealer alone.
  bool Peek() {
    std::optional<std::size_t> count = PeekCount(args_);
    if (!count) return BadArgument();
    Result r = table::DescribeTable(c_.place, deck_);
    if (!answer_.Refuse(r)) return false;
    if (r.cards.size() > *count) r.cards.resize(*count);
    answer_.ToPlayer(r.cards.empty() ? t_.empty_peek : answer_.CardsText(r.cards, kMostShownBytes),
                     true);
    return true;
  }

  // Dealers are kept by the chat hosts that know who is at a place; at a table with one player
  // (deckhand's), that player deals.
  bool NoDealerHere() { return BadArgument(); }

  // Asking is anyone's; setting it is the dealer's, which RunTableCommand checked.
  bool AutoRecall() {
    Result r;
    if (args_.empty()) {
      r = table::DescribeTable(c_.place, "");
    } else if (EqualIgnoringCase(args_, "on") || EqualIgnoringCase(args_, "off")) {
      r = table::SetAutoRecall(c_.place, EqualIgnoringCase(args_, "on"));
    } else {
      return BadArgument();
    }
    if (!answer_.Refuse(r)) return false;
    answer_.ToPlace(r.auto_recall ? t_.auto_recall_on : t_.auto_recall_off);
    return true;
  }

  // The next commitment, whole, and who has added a seed to the next shuffle.
  bool Fair() {
    Result r = table::DescribeSeeds(c_.place, deck_);
    if (!answer_.Refuse(r)) return false;
    std::string next = std::to_string(r.seeds.next_shuffle);
    std::string line =
        Fill(t_.fair, {{"{count}", next}, {"{commitment}", r.seeds.next_commitment}});
    if (!r.seeds.waiting.empty()) {
      std::string players;
      for (const auto& [player, text] : r.seeds.waiting) {
        if (!players.empty()) players += ',';
        players += Shown(c_, player);
      }
      line += Fill(t_.fair_waiting, {{"{text}", players}});
    }
    answer_.ToPlace(line);
    return true;
  }

  // The place hears who added a seed; its text stays the player's until the reveal.
  bool Seed() {
    Result r = table::AddPlayerSeed(c_.place, deck_, c_.player, args_);
    if (!answer_.Refuse(r)) return false;
    std::string next = std::to_string(r.seeds.next_shuffle);
    answer_.ToPlace(Fill(t_.seed_added, {{"{nick}", Shown(c_, c_.player)}, {"{count}", next}}));
    return true;
  }

  bool Reveal() {
    Result r = table::RevealDeckSeeds(c_.place, deck_, c_.modes_file);
    if (!answer_.Refuse(r, {}, r.mode)) return false;
    if (r.seeds.revealed.empty()) answer_.ToPlace(t_.nothing_to_reveal);
    TellRevealed(r);
    if (r.shuffled) answer_.ToPlace(WithCommitment(Fill(t_.deck_set, {{"{mode}", r.mode}}), r));
    return true;
  }

  bool Help() {
    for (const std::string& line : TableHelpLines(t_, c_.prefix, args_)) answer_.ToPlayer(line);
    return true;
  }

  bool Run(CommandId id) {
    switch (id) {
      case CommandId::kDeck:
        return Deck();
      case CommandId::kShuffle:
        return Shuffle();
      case CommandId::kRecall:
        return Recall();
      case CommandId::kDraw:
        return Draw();
      case CommandId::kHiddenDraw:
        return HiddenDraw();
      case CommandId::kDeal:
        return Deal();
      case CommandId::kHand:
        return Hand();
      case CommandId::kPlay:
        return PlayCards();
      case CommandId::kDiscard:
        return Discard();
      case CommandId::kGive:
        return Give();
      case CommandId::kDiscards:
        return Discards();
      case CommandId::kTable:
        return Table();
      case CommandId::kCount:
        return Count();
      case CommandId::kCheck:
        return Check();
      case CommandId::kPeek:
        return Peek();
      case CommandId::kAutoRecall:
        return AutoRecall();
      case CommandId::kDealer:
        return NoDealerHere();
      case CommandId::kFair:
        return Fair();
      case CommandId::kSeed:
        return Seed();
      case CommandId::kReveal:
        return Reveal();
      case CommandId::kHelp:
        return Help();
    }
    return false;
  }

 private:
  void AnnounceAutoRecall(const Result& result) {
    if (result.auto_recalled == 0) return;
    std::string count = std::to_string(result.auto_recalled);
    answer_.ToPlace(WithCommitment(Fill(t_.auto_recalled, {{"{count}", count}}), result));
  }

  // A line reporting a shuffle, with the next shuffle's commitment, so that players hold it
  // before that shuffle is made.
  std::string WithCommitment(std::string line, const Result& result) const {
    if (!result.shuffled) return line;
    std::string next = std::to_string(result.seeds.next_shuffle);
    std::string shown = result.seeds.next_commitment.substr(0, kShownCommitmentDigits);
    return line + Fill(t_.next_commitment, {{"{count}", next}, {"{commitment}", shown}});
  }

  // The seeds a reveal published, one line per shuffle.
  void TellRevealed(const Result& result) {
    const auto& revealed = result.seeds.revealed;
    for (std::size_t i = 0; i < revealed.size() && i < kMostRevealedLines; ++i) {
      std::string number = std::to_string(revealed[i].first);
      answer_.ToPlace(
          Fill(t_.seed_revealed, {{"{count}", number}, {"{text}", revealed[i].second}}));
    }
    if (revealed.size() > kMostRevealedLines) {
      std::string more = std::to_string(revealed.size() - kMostRevealedLines);
      answer_.ToPlace(Fill(t_.more_revealed, {{"{count}", more}}));
    }
  }

  bool BadArgument() {
    answer_.RefuseText(Fill(t_.bad_argument, {{"{text}", c_.text}}));
    return false;
  }

  bool NoSuchPlayer(std::string_view name) {
    answer_.RefuseText(Fill(t_.no_such_player, {{"{nick}", name}}));
    return false;
  }

  const TableCommand& c_;
  const TableTexts& t_;
  std::string_view deck_;
  std::string_view args_;
  Answer& answer_;
};

Parsed Parse(std::string_view text) {
  Parsed parsed;
  std::size_t comma = text.find(',');
  std::string_view head = text.substr(0, comma);
  parsed.arguments = comma == std::string_view::npos ? "" : text.substr(comma + 1);
  std::size_t at = head.find('@');
  parsed.word = FindChatCommand(head.substr(0, at));
  if (at != std::string_view::npos) {
    parsed.names_deck = true;
    parsed.deck = head.substr(at + 1);
  }
  if (parsed.word != nullptr && !parsed.word->on_deck) parsed.deck = {};
  return parsed;
}

}  // namespace

TableAnswer RunTableCommand(const TableCommand& command, const TableTexts& texts) {
  Parsed parsed = Parse(command.text);
  if (parsed.word == nullptr) return TableAnswer();
  Answer answer(command, texts, *parsed.word, parsed.deck);
  try {
    if (parsed.word->on_deck && parsed.names_deck && !table::IsDeckName(parsed.deck)) {
      Answer refused(command, texts, *parsed.word, {});
      refused.RefuseText(Fill(texts.bad_deck_name, {{"{deck}", parsed.deck}}));
      return refused.Finish(false);
    }
    if (NeedsDealer(*parsed.word, parsed.arguments) && !command.may_deal) {
      answer.RefuseText(texts.dealer_only);
      return answer.Finish(false);
    }
    Play play(command, texts, parsed, answer);
    return answer.Finish(play.Run(parsed.word->id));
  } catch (const std::exception&) {
    Answer failed(command, texts, *parsed.word, parsed.deck);
    Result out_of_memory;
    out_of_memory.outcome = Outcome::kSaveFailed;
    failed.Refuse(out_of_memory);
    return failed.Finish(false);
  }
}

std::string TableHelpLine(const TableTexts& texts, const ChatCommandInfo& command,
                          std::string_view prefix) {
  auto own = texts.help.find(command.word);
  std::string line = own != texts.help.end() ? own->second : DefaultHelpLine(command);
  return Fill(line, {{"{prefix}", prefix}});
}

std::vector<std::string> TableHelpLines(const TableTexts& texts, std::string_view prefix,
                                        std::string_view about) {
  std::vector<std::string> lines;
  std::span<const ChatCommandInfo> commands = CommandsToHelpWith(about);
  for (const ChatCommandInfo& command : commands) {
    lines.push_back(TableHelpLine(texts, command, prefix));
  }
  if (commands.size() > 1) lines.push_back(texts.help_legend);
  return lines;
}

}  // namespace deckhand::host
