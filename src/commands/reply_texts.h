// The library's fixed reply texts, as Shift_JIS bytes. Written as escapes so that the bytes do
// not depend on how the source file is encoded or how the compiler reads it.
#pragma once

#include <string_view>

namespace deckhand {

// "デッキセット:" (deck set:), followed by the mode name.
inline constexpr std::string_view kDeckSetText =
    "\x83\x66\x83\x62\x83\x4C\x83\x5A\x83\x62\x83\x67\x3A";

// "デッキにカードがありません" (there are no cards in the deck).
inline constexpr std::string_view kNoCardsText =
    "\x83\x66\x83\x62\x83\x4C\x82\xC9\x83\x4A\x81\x5B\x83\x68\x82\xAA\x82\xA0\x82\xE8\x82\xDC"
    "\x82\xB9\x82\xF1";

// "カードを引けませんでした" (failed to draw a card).
inline constexpr std::string_view kNothingDrawnText =
    "\x83\x4A\x81\x5B\x83\x68\x82\xF0\x88\xF8\x82\xAF\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5"
    "\x82\xBD";

// "シャッフルしました" (shuffled).
inline constexpr std::string_view kShuffledText =
    "\x83\x56\x83\x83\x83\x62\x83\x74\x83\x8B\x82\xB5\x82\xDC\x82\xB5\x82\xBD";

// "デッキを保存できませんでした" (the deck could not be saved).
inline constexpr std::string_view kSaveFailedText =
    "\x83\x66\x83\x62\x83\x4C\x82\xF0\x95\xDB\x91\xB6\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1"
    "\x82\xC5\x82\xB5\x82\xBD";

// "シャッフルできませんでした" (could not shuffle): the system's random generator failed, so
// nothing was dealt or shuffled and nothing saved.
inline constexpr std::string_view kShuffleFailedText =
    "\x83\x56\x83\x83\x83\x62\x83\x74\x83\x8B\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5"
    "\x82\xB5\x82\xBD";

// "デッキファイルを読めませんでした" (could not read the deck file): the mode names a deck file
// that is absent or cannot be read, so the target's deck was left as it was.
inline constexpr std::string_view kDeckFileUnreadableText =
    "\x83\x66\x83\x62\x83\x4C\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x93\xC7\x82\xDF\x82\xDC"
    "\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD";

}  // namespace deckhand
