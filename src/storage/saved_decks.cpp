#include "storage/saved_decks.h"

#include "storage/data_path.h"
#include "storage/ini_access.h"

namespace deckhand {

CardList LoadDeck(std::string_view target) {
  std::string line = ReadIniText(MakeDataPath(kSaveFileName), kDeckSection, target);
  if (line.empty()) return CardList();
  return SplitText(line, ",", 0);
}

bool SaveDeck(std::string_view target, const CardList& cards) {
  return WriteIniText(MakeDataPath(kSaveFileName), kDeckSection, target, JoinCards(cards));
}

}  // namespace deckhand
