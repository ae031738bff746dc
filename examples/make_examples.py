#!/usr/bin/env python3
"""Writes the example mode table and deck files of this directory.

The files are what a user of the library writes by hand on Windows: Shift_JIS text with CRLF
line ends. Card names are kept here as readable text and encoded on writing, so that the bytes
never depend on an editor. Run it from anywhere; it rewrites the .ini files next to it.
"""

from pathlib import Path

HERE = Path(__file__).resolve().parent

PLAYING_SUITS = ["スペード", "ハート", "ダイヤ", "クラブ"]
PLAYING_RANKS = ["A", "2", "3", "4", "5", "6", "7", "8", "9", "10", "J", "Q", "K"]

ENGLISH_SUITS = ["Spades", "Hearts", "Diamonds", "Clubs"]
ENGLISH_RANKS = ["Ace", "2", "3", "4", "5", "6", "7", "8", "9", "10", "Jack", "Queen", "King"]

MAJOR_ARCANA = [
    "愚者", "魔術師", "女教皇", "女帝", "皇帝", "教皇", "恋人", "戦車", "力", "隠者", "運命の輪",
    "正義", "吊された男", "死神", "節制", "悪魔", "塔", "星", "月", "太陽", "審判", "世界",
]
MINOR_SUITS = ["ワンド", "カップ", "ソード", "ペンタクル"]
MINOR_RANKS = ["エース", "2", "3", "4", "5", "6", "7", "8", "9", "10",
               "ペイジ", "ナイト", "クイーン", "キング"]


def playing_cards():
    cards = [f"{suit}の{rank}" for suit in PLAYING_SUITS for rank in PLAYING_RANKS]
    return cards + ["ジョーカー", "ジョーカー"]


def english_cards():
    return [f"{rank} of {suit}" for suit in ENGLISH_SUITS for rank in ENGLISH_RANKS]


def tarot_cards():
    return MAJOR_ARCANA + [f"{suit}の{rank}" for suit in MINOR_SUITS for rank in MINOR_RANKS]


def write_ini(name, lines):
    text = "".join(line + "\r\n" for line in lines)
    (HERE / name).write_bytes(text.encode("shift_jis"))


def write_deck(name, comment, cards, reversible=False):
    lines = [f"; {comment}", "[DECK]", f"Max={len(cards)}"]
    # The table deals each card of such a deck upright or reversed; the five commands ignore it.
    if reversible:
        lines.append("Reversible=1")
    lines += [f"{number}={card}" for number, card in enumerate(cards, start=1)]
    write_ini(name, lines)


def main():
    write_ini("modes.ini", [
        "; モード名=デッキファイル名",
        "[MODE]",
        "trump=trump.ini",
        "tarot=tarot.ini",
        "major=major.ini",
        "english=english.ini",
    ])
    write_deck("trump.ini", "トランプ 52枚とジョーカー2枚", playing_cards())
    write_deck("tarot.ini", "タロット 大アルカナ22枚と小アルカナ56枚", tarot_cards(), reversible=True)
    write_deck("major.ini", "タロット 大アルカナ22枚", MAJOR_ARCANA, reversible=True)
    write_deck("english.ini", "Playing cards, 52, no jokers", english_cards())


if __name__ == "__main__":
    main()
