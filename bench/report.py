#!/usr/bin/env python3
"""Turns the benchmark results into a markdown table and a plot of time against save-file size.

Usage: report.py RESULTS_DIR

Reads RESULTS_DIR/benchmarks.json (Google Benchmark JSON, medians of repetitions) and
RESULTS_DIR/peak_memory.jsonl, writes RESULTS_DIR/results.md and RESULTS_DIR/time_vs_size.dat,
and, when gnuplot is installed, RESULTS_DIR/time_vs_size.png.
"""

import json
import pathlib
import shutil
import subprocess
import sys

TARGET_COUNTS = [1, 100, 1000, 10000]
CARD_SET_SIZES = [52, 1000, 10000, 100000]
READING = ["Count", "Check"]
SAVING = ["Deck", "Draw", "Shuffle"]
# The table's commands, through the core as hosts link it: each one lock, one read and one atomic
# replace, held to the saving commands' goal (the two that only read too).
TABLE = ["TableDeck", "TableShuffle", "TableRecall", "TableDraw", "TableHiddenDraw", "TableDeal",
         "TablePlay", "TableGive", "TableHand", "TableDescribe"]
READ_FLOOR = "ReadFloor"
REPLACE_FLOOR = "ReadReplaceFloor"
# Goals at 10,000 targets: a reading command against one read of the save file, a saving
# command against one read and one atomic replace; and growth per tenfold size.
READ_GOAL = 1.3
SAVE_GOAL = 1.5
GROWTH_GOAL = 11.0


def load_medians(path):
    """Median real time in microseconds, and counters, by run name; errors by run name."""
    data = json.loads(path.read_text())
    medians, errors = {}, {}
    for entry in data["benchmarks"]:
        name = entry["run_name"].removesuffix("/real_time")
        if entry.get("error_occurred"):
            errors[name] = entry.get("error_message", "error")
            continue
        if entry.get("run_type") == "aggregate" and entry.get("aggregate_name") != "median":
            continue
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[entry["time_unit"]]
        medians[name] = {"us": entry["real_time"] * scale,
                         "save_bytes": entry.get("save_bytes")}
    return data["context"], medians, errors


def fmt_time(us):
    if us is None:
        return "—"
    if us >= 1000:
        return f"{us / 1000:.3g} ms" if us < 100000 else f"{us / 1000:.0f} ms"
    return f"{us:.3g} µs"


def fmt_bytes(count):
    for unit, size in (("MB", 1e6), ("kB", 1e3)):
        if count >= size:
            return f"{count / size:.3g} {unit}"
    return f"{count:.0f} B"


def fmt_ratio(value):
    return "—" if value is None else f"{value:.2f}×"


class Results:
    def __init__(self, medians, errors):
        self.medians = medians
        self.errors = errors

    def time(self, name):
        found = self.medians.get(name)
        return found["us"] if found else None

    def ratio(self, name, floor):
        time, base = self.time(name), self.time(floor)
        return time / base if time is not None and base else None

    def cell(self, name):
        if name in self.errors:
            return "not measured"
        return fmt_time(self.time(name))


def save_file_table(results):
    def key(series, targets):
        return f"{series}/targets:{targets}"

    header = ["", *[f"{t:,} target{'s' if t > 1 else ''}" for t in TARGET_COUNTS],
              "1,000 → 10,000 targets costs", "goal at 10,000 targets"]
    rows = []
    sizes = [results.medians.get(key(READ_FLOOR, t), {}).get("save_bytes") for t in TARGET_COUNTS]
    rows.append(["save file", *[fmt_bytes(s) if s else "—" for s in sizes], "", ""])
    for series, label in ((READ_FLOOR, "floor: read"),
                          (REPLACE_FLOOR, "floor: read + atomic replace")):
        rows.append([label, *[results.cell(key(series, t)) for t in TARGET_COUNTS],
                     growth_cell(results, key(series, 1000), key(series, 10000)), ""])
    for series in READING + SAVING + TABLE:
        floor = READ_FLOOR if series in READING else REPLACE_FLOOR
        goal = READ_GOAL if series in READING else SAVE_GOAL
        cells = []
        for t in TARGET_COUNTS:
            name = key(series, t)
            ratio = results.ratio(name, key(floor, t))
            cells.append(results.cell(name) if ratio is None
                         else f"{results.cell(name)} ({fmt_ratio(ratio)})")
        at_goal = results.ratio(key(series, 10000), key(floor, 10000))
        verdict = "—" if at_goal is None else (
            f"≤ {goal}×: {'met' if at_goal <= goal else 'missed'}")
        rows.append([f"`{series}`", *cells,
                     growth_cell(results, key(series, 1000), key(series, 10000)), verdict])
    return markdown_table(header, rows)


def growth_cell(results, smaller, larger):
    low, high = results.time(smaller), results.time(larger)
    if low is None or high is None:
        return "—"
    growth = high / low
    return f"{growth:.1f}×" + ("" if growth <= GROWTH_GOAL else " (over 11×)")


def card_set_table(results):
    header = ["", *[f"{c:,} cards" for c in CARD_SET_SIZES], "1,000 → 10,000 costs",
              "10,000 → 100,000 costs"]
    names = [f"DeckCardSet/cards:{c}" for c in CARD_SET_SIZES]
    row = ["`Deck`", *[results.cell(n) for n in names], growth_cell(results, names[1], names[2]),
           growth_cell(results, names[2], names[3])]
    return markdown_table(header, [row])


BIG_DRAWS = [
    ("range:1-4294967295", "`draw,1-4294967295` (every card)"),
    ("range:1--1", "`draw,1--1` (negative bound: every card)"),
    ("positions:1000", "1,000 positions `draw,1,101,201,…`"),
    ("positions:10000", "10,000 positions `draw,1,11,21,…`"),
    ("repeated:10000", "10,000 tokens of one position `draw,5,5,…`"),
]


def big_draw_table(results):
    rows = [[label, results.cell(f"DrawBigDeck/{name}")] for name, label in BIG_DRAWS]
    return markdown_table(["selector", "time"], rows)


def peak_memory_table(path):
    if not path.exists():
        return "Peak memory was not measured.\n"
    rows = []
    for line in path.read_text().splitlines():
        if not line.strip():
            continue
        m = json.loads(line)
        rows.append([f"`{m['command']}` of {m['cards']:,} cards", fmt_bytes(m["deck_file_bytes"]),
                     f"{m['peak_kib'] / 1024:.1f} MiB",
                     f"{m['peak_before_call_kib'] / 1024:.1f} MiB",
                     f"{(m['peak_kib'] - m['peak_before_call_kib']) / 1024:.1f} MiB"])
    if not rows:
        return "Peak memory was not measured.\n"
    return markdown_table(["call", "deck file", "peak resident set", "before the call",
                           "added by the call"], rows)


def markdown_table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines) + "\n"


def write_plot(results, out_dir):
    series = [READ_FLOOR, REPLACE_FLOOR, *READING, *SAVING]
    data = out_dir / "time_vs_size.dat"
    points = 0
    with data.open("w") as f:
        f.write("# save_bytes " + " ".join(series) + " (median milliseconds)\n")
        for t in TARGET_COUNTS:
            size = results.medians.get(f"{READ_FLOOR}/targets:{t}", {}).get("save_bytes")
            if not size:
                continue
            times = [results.time(f"{s}/targets:{t}") for s in series]
            points += sum(v is not None for v in times)
            f.write(f"{size:.0f} " + " ".join("?" if v is None else f"{v / 1000:.6g}"
                                              for v in times) + "\n")
    if points == 0:
        print("no save-file benchmarks in this run: skipping the plot")
        return
    if shutil.which("gnuplot") is None:
        print("gnuplot is not installed: skipping the plot (apt-get install gnuplot-nox)")
        return
    titles = ["floor: read", "floor: read + atomic replace", *READING, *SAVING]
    styles = ["lw 2 dt 2 lc rgb '#555555'", "lw 2 dt 2 lc rgb '#000000'",
              "lw 2 lc rgb '#1f77b4'", "lw 2 lc rgb '#17becf'",
              "lw 2 lc rgb '#d62728'", "lw 2 lc rgb '#ff7f0e'", "lw 2 lc rgb '#2ca02c'"]
    plots = ", ".join(f"'{data.name}' using 1:{i + 2} with linespoints {style} title '{title}'"
                      for i, (title, style) in enumerate(zip(titles, styles)))
    script = f"""
set terminal pngcairo size 960,600 font 'sans,11'
set output 'time_vs_size.png'
set datafile missing '?'
set logscale xy
set format x '%.0s %cB'
set format y '%g'
set xrange [300:1e7]
set grid
set key top left
set title 'deckhand: time of one call against save-file size (median of repetitions)'
set xlabel 'save file size (bytes; 1, 100, 1,000 and 10,000 targets of 52 cards)'
set ylabel 'time per call (ms)'
plot {plots}
"""
    subprocess.run(["gnuplot"], input=script, text=True, cwd=out_dir, check=True)


def main():
    out_dir = pathlib.Path(sys.argv[1])
    context, medians, errors = load_medians(out_dir / "benchmarks.json")
    results = Results(medians, errors)
    load = context.get("load_avg")
    parts = [
        "# Benchmark results\n",
        f"Run of {context.get('date', '?')} on {context.get('num_cpus', '?')} CPUs "
        f"({context.get('mhz_per_cpu', '?')} MHz)"
        + (f", load average {', '.join(f'{x:.2f}' for x in load)} at the start" if load else "")
        + ". Times are medians of repetitions, wall-clock time per call. Ratios in brackets: "
        "reading commands against one read of the save file, saving commands against one read "
        "and one atomic replace of it, both measured in the same run.\n",
        "## Save files of 52-card decks (the command works on the last target of the file)\n",
        save_file_table(results),
        "\n## `Deck` against card sets (save file of one target)\n",
        card_set_table(results),
        "\n## `Draw` on a deck of 100,000 cards\n",
        big_draw_table(results),
        "\n## Peak memory (fresh process, one call)\n",
        peak_memory_table(out_dir / "peak_memory.jsonl"),
    ]
    if errors:
        parts.append("\nNot measured: " + "; ".join(
            f"{name}: {message}" for name, message in sorted(errors.items())) + "\n")
    (out_dir / "results.md").write_text("\n".join(parts))
    write_plot(results, out_dir)
    print(f"wrote {out_dir / 'results.md'}")


if __name__ == "__main__":
    main()
