#!/usr/bin/env python3
"""The transcripts of games played with deckhand, checked by both verifiers (deckhand --verify
and tools/verify-shuffle.py): a whole game checks; every tampering is caught, at the same line
by both. The worked example of docs/shuffles.md is what the Python verifier computes.

    transcript_test.py DECKHAND SOURCE_DIR
"""
import glob
import importlib.util
import json
import os
import random
import subprocess
import sys
import tempfile

deckhand, source = sys.argv[1], sys.argv[2]
python_verifier = os.path.join(source, "tools", "verify-shuffle.py")
failures = []


def expect(holds, why):
    if not holds:
        failures.append(why)


def verify(path):
    """Both verifiers' exit status and answer, which must agree."""
    ours = subprocess.run([deckhand, "--verify", path], capture_output=True, text=True, errors="replace")
    theirs = subprocess.run([sys.executable, python_verifier, path], capture_output=True,
                            text=True, errors="replace")
    expect(ours.returncode == theirs.returncode, f"the verifiers disagree on {path}: "
           f"{ours.stdout} / {theirs.stdout}")
    expect(ours.stdout == theirs.stdout, f"the verifiers say different things: {ours.stdout} / "
           f"{theirs.stdout}")
    return ours.returncode, ours.stdout


def play(directory):
    cards = "".join(f"{i}=カード{i}\r\n" for i in range(1, 13))
    with open(os.path.join(directory, "modes.ini"), "wb") as out:
        out.write(b"[MODE]\r\nrev=rev.ini\r\n")
    with open(os.path.join(directory, "rev.ini"), "wb") as out:
        out.write(f"[DECK]\r\nMax=12\r\nReversible=1\r\n{cards}".encode("cp932"))
    commands = ["fair", "seed,lucky", "seed,7-7", "deck,rev", "draw", "hdraw,1-2", "deal,2,al,bo",
                "play,1", "give,al,1", "draw,2-3", "recall", "shuffle", "recall,all", "draw",
                "reveal"]
    run = subprocess.run([deckhand, "-C", directory, "-t", "#t"] + commands,
                         env=dict(os.environ, LC_ALL="C.UTF-8"), capture_output=True, text=True, errors="replace")
    expect(run.returncode == 0, f"the game did not run: {run.stderr}")
    games = sorted(glob.glob(os.path.join(directory, "games", "*.jsonl")))
    expect(len(games) == 2, f"a game and the next one begun by the reveal: {games}")
    finished = [path for path in games if '"reveal"' in open(path, encoding="utf-8").read()]
    return finished[0]


def random_game(directory, seed):
    """Random commands of every kind, the plug-in's Draw and Shuffle among them, then a reveal:
    every transcript checks."""
    chance = random.Random(seed)
    table = ["draw", "draw,2-3", "draw,1,3", "hdraw", "hdraw,1-2", "deal,1,al,bo", "play,1",
             "discard,1", "give,al,1", "recall", "recall,all", "shuffle", "seed,x", "fair",
             "auto_recall,on", "auto_recall,off", "deck,rev"]
    for _ in range(6):
        commands = [chance.choice(table) for _ in range(12)]
        subprocess.run([deckhand, "-C", directory, "-t", "#t"] + commands,
                       env=dict(os.environ, LC_ALL="C.UTF-8"), capture_output=True)
        exports = [chance.choice(["Draw player #t modes.ini draw,2", "Shuffle player #t modes.ini "
                                  "shuffle", "Draw player #t modes.ini draw,1-2"])
                   for _ in range(3)]
        subprocess.run([deckhand, "-C", directory, "--raw"], input="\n".join(exports) + "\n",
                       env=dict(os.environ, LC_ALL="C.UTF-8"), capture_output=True, text=True)
    subprocess.run([deckhand, "-C", directory, "-t", "#t", "reveal"],
                   env=dict(os.environ, LC_ALL="C.UTF-8"), capture_output=True)
    for game in glob.glob(os.path.join(directory, "games", "*.jsonl")):
        if '"reveal"' in open(game, encoding="utf-8").read():
            status, said = verify(game)
            expect(status == 0, f"random game {seed}: {said}")


def tampered(path, lines, name):
    out = path + "." + name + ".jsonl"
    with open(out, "w", encoding="utf-8") as file:
        file.write("".join(json.dumps(line, ensure_ascii=False) + "\n" for line in lines))
    return out


def first(lines, kind):
    return next(at for at, line in enumerate(lines) if line["type"] == kind)


with tempfile.TemporaryDirectory() as directory:
    game = play(directory)
    status, said = verify(game)
    expect(status == 0, f"the game does not check: {said}")
    lines = [json.loads(text) for text in open(game, encoding="utf-8")]

    seed_byte = json.loads(json.dumps(lines))
    reveal = seed_byte[first(seed_byte, "reveal")]
    digit = reveal["seeds"][0][1][0]
    reveal["seeds"][0][1] = ("1" if digit != "1" else "2") + reveal["seeds"][0][1][1:]

    card_swapped = json.loads(json.dumps(lines))
    output = card_swapped[first(card_swapped, "shuffle")]["output"]
    output[0], output[1] = output[1], output[0]

    seed_late = json.loads(json.dumps(lines))
    seed = seed_late.pop(first(seed_late, "seed"))
    seed_late.insert(first(seed_late, "shuffle") + 1, seed)

    seed_early = json.loads(json.dumps(lines))
    seed = seed_early.pop(first(seed_early, "seed"))
    seed_early.insert(1, seed)

    for name, changed, line, why in [
            ("seed_byte", seed_byte, first(seed_byte, "reveal"), "does not match its commitment"),
            ("card_swapped", card_swapped, first(card_swapped, "draw"), "was not at 1"),
            ("seed_after_the_shuffle", seed_late, first(seed_late, "shuffle"),
             "does not use the seeds added"),
            ("seed_before_its_commitment", seed_early, 1, "added before its commitment")]:
        status, said = verify(tampered(game, changed, name))
        expect(status == 1, f"{name} checks: {said}")
        expect(f"line {line + 1}: " in said and why in said,
               f"{name} is not caught at line {line + 1} ({why}): {said}")

sys.dont_write_bytecode = True  # no cache beside the verifier in the source tree
for seed in [random.randrange(1 << 30) for _ in range(3)]:
    with tempfile.TemporaryDirectory() as directory:
        play(directory)
        random_game(directory, seed)

found = importlib.util.spec_from_file_location("verifier", python_verifier)
verifier = importlib.util.module_from_spec(found)
found.loader.exec_module(verifier)
cards, turns = verifier.shuffle(bytes(range(32)), "#deckhand", "tarot", 3,
                                [["alice", "lucky"], ["bob", "7"]],
                                [f"c{i}" for i in range(1, 9)], True)
with open(os.path.join(source, "docs", "shuffles.md"), encoding="utf-8") as doc:
    text = doc.read()
expect(" ".join(cards) in text and turns in text, "docs/shuffles.md's worked example is wrong")

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
