// The text of a card file as users bring it: which character set it is written in (UTF-8 with or
// without a byte-order mark, UTF-16 with one, Shift_JIS, or none of them), line by line where
// lines differ (a line added in another editor), and its Shift_JIS form for the library, with
// character references for what Shift_JIS lacks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::host {

// A place in a file as an editor shows it: both counted from 1, columns in characters.
struct TextPlace {
  std::size_t line = 1;
  std::size_t column = 1;
};

enum class CardTextKind {
  kShiftJis,  // Shift_JIS, plain ASCII included: the library reads it as it is
  kUtf8,      // UTF-8 with characters beyond ASCII, or with a byte-order mark
  kUtf16,     // UTF-16 with a byte-order mark
  kNeither,   // none of them, or one of them broken: `failure` says where
};

// Why a text is kNeither.
enum class CardTextFailure { kNone, kBrokenUtf8, kBrokenUtf16, kNulByte, kEucJp, kBadShiftJis };

// A line beyond ASCII of a text that is not in one encoding throughout.
struct CardTextLine {
  // Its bytes in the text after any byte-order mark, its line end left out.
  std::size_t begin = 0;
  std::size_t end = 0;
  CardTextKind kind = CardTextKind::kNeither;  // kShiftJis, kUtf8 or kNeither
  // kShiftJis, kUtf8: its first character beyond ASCII (in library bytes) and where it is;
  // kNeither: where reading fails, and why (in library bytes).
  TextPlace place;
  std::string first_foreign;
  std::string failure;
  CardTextFailure failure_kind = CardTextFailure::kNone;
};

struct CardText {
  CardTextKind kind = CardTextKind::kNeither;
  bool byte_order_mark = false;
  // kUtf8, kUtf16: the text in UTF-8, without its byte-order mark (odd lines as they are).
  std::string utf8;
  // kUtf8, kUtf16: the first character beyond ASCII (in library bytes: its Shift_JIS form or
  // its reference) and where it is; empty for a file of ASCII only.
  std::string first_foreign;
  TextPlace first_foreign_place;
  // kNeither: where reading fails, and why (in library bytes), e.g. "is UTF-8 text, broken here:
  // 0xFF is no UTF-8 character".
  TextPlace failure_place;
  std::string failure;
  CardTextFailure failure_kind = CardTextFailure::kNone;
  // The lines in another encoding than `kind`, or in none, in order; kNeither: every line in
  // none, when it is no failure of the text as a whole (UTF-16, NUL, EUC-JP).
  std::vector<CardTextLine> odd_lines;
};

// Tells which character set `bytes` are in. UTF-8 wins over Shift_JIS for a text valid in both
// (rare beyond ASCII). A text valid as EUC-JP that holds its kana or punctuation rows is taken
// as EUC-JP (whose bytes also pass for Shift_JIS half-width katakana, and read as garbage).
// Any other text that is not UTF-8 throughout is read line by line: a line valid as UTF-8 is
// UTF-8, a line mostly valid UTF-8 is broken UTF-8 (in none), else Shift_JIS when valid as it.
// The text is in the encoding of most of its lines (Shift_JIS when as many are in each; UTF-8
// after a byte-order mark); the others are its odd lines. kNeither when no line is in either.
CardText ReadCardText(std::string_view bytes);

struct ShiftJisText {
  std::string bytes;
  // The characters kept as references, each once, in the order they first appear.
  std::vector<char32_t> references;
};

// `utf8` (valid, as ReadCardText gives it) in code page 932, every character it lacks written
// as a reference; every other byte, line ends included, is kept in place.
ShiftJisText ToShiftJis(std::string_view utf8);

// The whole of `bytes`, which ReadCardText read as `text` (not kNeither, no odd line in none),
// in Shift_JIS: its UTF-8 lines as ToShiftJis makes them, its Shift_JIS lines as they are.
ShiftJisText CardTextInShiftJis(const CardText& text, std::string_view bytes);

}  // namespace deckhand::host
