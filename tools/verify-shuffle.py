#!/usr/bin/env python3
"""verify-shuffle.py TRANSCRIPT: checks a deckhand game transcript (docs/shuffles.md): every seed
against its commitment, every commitment published before its shuffle, every shuffle recomputed,
every card drawn, dealt or played the one the table held. Exit 0, or 1 naming the first line that
fails and why. Standard library only."""
import hashlib, hmac, json, sys

CONSTRUCTION = "deckhand-shuffle-v1"


class Failed(Exception):
    """The transcript does not check."""


def need(holds, why):
    if not holds:
        raise Failed(why)


def raw(text):  # a transcript string as the bytes it stands for: each character is one byte
    return text.encode("latin-1")


def shuffle(seed, place, deck, number, player_seeds, cards, reversible):
    message = b"".join(raw(field) + b"\0" for field in (CONSTRUCTION, place, deck, str(number)))
    for player, text in player_seeds:
        message += raw(player) + b"\0" + raw(text) + b"\0"
    key = hmac.new(seed, message, hashlib.sha256).digest()
    def stream(block=0):
        while True:
            out = hmac.new(key, block.to_bytes(8, "big"), hashlib.sha256).digest()
            yield from (int.from_bytes(out[at:at + 4], "big") for at in range(0, 32, 4))
            block += 1
    words, cards = stream(), list(cards)
    for i in range(len(cards) - 1, 0, -1):
        m = i + 1
        word = next(words)
        while word >= 2**32 - 2**32 % m:
            word = next(words)
        cards[i], cards[word % m] = cards[word % m], cards[i]
    turns = [next(words) & 1 if reversible else 0 for _ in cards]
    return cards, "".join("UR"[turn] for turn in turns)


class Game:
    def __init__(self):
        self.place = None
        self.commits, self.seeds, self.shuffles, self.revealed = {}, {}, {}, set()
        self.draw, self.discard, self.hands = None, [], None  # None: not known before a deal
    def game(self, line):
        need(self.place is None and line["construction"] == CONSTRUCTION, "not a game's first line")
        self.place, self.deck = line["place"], line["deck"]
    def commit(self, line):
        k, commitment = line["shuffle"], line["commitment"]
        need(k not in self.shuffles, f"the commitment to shuffle {k} comes after the shuffle")
        need(self.commits.setdefault(k, commitment) == commitment, f"shuffle {k} committed twice")
        self.seeds.setdefault(k, [])
    def seed(self, line):
        k = line["shuffle"]
        need(k in self.commits, f"a seed for shuffle {k} added before its commitment")
        need(k not in self.shuffles, f"a seed for shuffle {k} added after the shuffle")
        self.seeds[k].append([line["player"], line["text"]])
    def shuffle(self, line):
        k, cards, kind = line["shuffle"], line["input"], line["kind"]
        need(k in self.commits, f"shuffle {k} has no commitment published before it")
        need(k not in self.shuffles, f"shuffle {k} made twice")
        need(line["commitment"] == self.commits[k], f"shuffle {k} is not under its commitment")
        need(line["player_seeds"] == self.seeds[k], f"shuffle {k} does not use the seeds added")
        if kind == "deal":
            self.discard, self.hands = [], {}
        elif self.draw is not None:
            need(cards[:len(self.draw)] == self.draw, f"shuffle {k} does not start from the pile")
            back = self.draw + (self.discard if kind != "shuffle" else [])
            if kind == "recall_all" and self.hands is not None:
                back += [card for hand in self.hands.values() for card in hand]
            need(sorted(cards) == sorted(back), f"shuffle {k} does not shuffle the cards it should")
        if kind in ("recall", "recall_all"):
            self.discard = []
        if kind == "recall_all":
            self.hands = {}
        need(sorted(line["output"]) == sorted(cards), f"shuffle {k} loses or adds cards")
        need(len(line["orientation"]) == len(cards), f"shuffle {k} turns the wrong number of cards")
        self.draw, self.shuffles[k] = list(line["output"]), line
    def draw_(self, line):
        taken, positions = line["cards"], line["positions"]
        if self.draw is not None:
            need(len(set(positions)) == len(positions) == len(taken), "positions and cards differ")
            for at, card in zip(positions, taken):
                need(at < len(self.draw) and self.draw[at] == card, f"{card} was not at {at + 1}")
            self.draw = [card for at, card in enumerate(self.draw) if at not in positions]
        self.give(taken, line["to"])
    def deal(self, line):
        cards, players = line["cards"], line["players"]
        if self.draw is not None:
            need(cards == self.draw[:len(cards)], "the cards dealt are not the top of the pile")
            self.draw = self.draw[len(cards):]
        for at, card in enumerate(cards):
            self.give([card], players[at % len(players)])
    def play(self, line):
        hand = None if self.hands is None else self.hands.setdefault(line["player"], [])
        for card in line["cards"]:
            need(hand is None or card in hand, f"{line['player']} did not hold {card}")
            if hand is not None:
                hand.remove(card)
        self.give(line["cards"], line["to"])
    def give(self, cards, player):
        if not player:
            self.discard.extend(cards)
        elif self.hands is not None:
            self.hands.setdefault(player, []).extend(cards)
    def reveal(self, line):
        for k, seed in line["seeds"]:
            need(k in self.shuffles, f"a seed revealed for shuffle {k}, which is not here")
            seed = bytes.fromhex(seed)
            need(len(seed) == 32 and hashlib.sha256(seed).hexdigest() == self.commits[k],
                 f"the seed of shuffle {k} does not match its commitment")
            made = self.shuffles[k]
            again = shuffle(seed, self.place, self.deck, k, made["player_seeds"], made["input"],
                            made["reversible"])
            need(again == (made["output"], made["orientation"]), f"shuffle {k} is not its seed's")
            self.revealed.add(k)


def verify(path):
    game = Game()
    steps = {"game": game.game, "commit": game.commit, "seed": game.seed, "shuffle": game.shuffle,
             "draw": game.draw_, "deal": game.deal, "play": game.play, "reveal": game.reveal}
    with open(path, encoding="utf-8") as transcript:
        lines = transcript.read().splitlines()
    for number, text in enumerate(lines, 1):
        try:
            line = json.loads(text)
            need(number > 1 or line.get("type") == "game", "a transcript begins with its game")
            steps[line["type"]](line)
        except Failed as why:
            return f"line {number}: {why}"
        except (ValueError, KeyError, TypeError, IndexError, AttributeError) as why:
            return f"line {number}: not a transcript line ({why!r})"
    need_game = None if lines else "line 1: a transcript begins with its game"
    left = sorted(set(game.shuffles) - game.revealed)
    return f"line {len(lines)}: shuffle {left[0]} is never revealed" if left else need_game


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: verify-shuffle.py TRANSCRIPT")
    failure = verify(sys.argv[1])
    print(f"{sys.argv[1]}: {failure or 'every shuffle and every card checks'}")
    sys.exit(1 if failure else 0)
