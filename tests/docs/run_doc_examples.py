#!/usr/bin/env python3
"""Runs the shell examples of README.md and docs/*.md against the build tree's programs, so that
the guides show what the programs do today.

    run_doc_examples.py SOURCE_DIR BUILD_DIR BIN_DIR [BIN_DIR...]

How a guide marks its examples:
- A fenced block tagged ```sh is run. In it, a line starting with "$ " is a command; the lines
  after it, up to the next "$ " line or the end of the block, are the output it must print
  (standard output and standard error together, as a terminal shows them). Nothing but blank
  lines may come before the first command.
- Output is compared line by line, exactly, except that "..." stands for any text within a line
  (`NOTICE #table デッキセット:trump (次#2: ...)`), and a line holding only "..." for any number
  of lines, none included.
- Every command must exit 0. To show a failure, show its status: `deckhand ...; echo "exit $?"`.
- The commands of one block run in order in one bash (a `cd` or `export` carries to the next
  command), in a fresh scratch directory that looks like the top of a clone after `make demo`:
  a copy of examples/, and build/default leading to the build tree. The build's programs come
  first on PATH, LC_ALL is C.UTF-8 and HOME is the scratch directory. A block has 60 seconds.
- Blocks tagged anything else (```console, ```sh-norun, ```text, ```ini) are shown only: use them
  for what needs root, systemd, an installation or a chat server.
"""
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

source, build = (os.path.abspath(arg) for arg in sys.argv[1:3])
# The programs the guides run, by name: deckhand and the chat bots.
bin_path = os.pathsep.join(os.path.abspath(arg) for arg in sys.argv[3:])
# Printed after each command with its exit status, to cut the block's output into commands.
MARK = "@@deckhand-doc-example"
FENCE = re.compile(r"^(\s*)```(\S*)\s*$")


def blocks(path):
    """(line number, [lines]) of each ```sh block of a guide."""
    found, current, start = [], None, 0
    with open(path, encoding="utf-8") as guide:
        for number, line in enumerate(guide.read().splitlines(), 1):
            fence = FENCE.match(line)
            if fence and current is None:
                current, start, tag, indent = [], number, fence.group(2), len(fence.group(1))
            elif fence and current is not None:
                if tag == "sh":
                    found.append((start, current))
                current = None
            elif current is not None:
                current.append(line[indent:])
    return found


def commands(lines):
    """[command, [expected lines]] in the order of the block; None when text precedes them."""
    steps = []
    for line in lines:
        if line.startswith("$ "):
            steps.append([line[2:], []])
        elif steps:
            steps[-1][1].append(line)
        elif line.strip():
            return None
    for step in steps:
        while step[1] and not step[1][-1].strip():
            step[1].pop()
    return steps


def matches(expected, printed):
    """Whether the printed lines are the expected ones, "..." standing for what varies."""
    any_text = re.escape("...")
    pattern = "".join("(?:[^\n]*\n)*" if line == "..." else
                      re.escape(line).replace(any_text, "[^\n]*") + "\n" for line in expected)
    return re.fullmatch(pattern, "".join(line + "\n" for line in printed)) is not None


def run(steps, where):
    script = "".join(f"{{ {command}\n}} 2>&1\nprintf '\\n{MARK} %s\\n' $?\n" for command, _ in steps)
    scratch = tempfile.mkdtemp(prefix="deckhand-docs.")
    try:
        shutil.copytree(os.path.join(source, "examples"), os.path.join(scratch, "examples"))
        os.makedirs(os.path.join(scratch, "build"))
        os.symlink(os.path.abspath(build), os.path.join(scratch, "build", "default"))
        env = dict(os.environ, PATH=bin_path + os.pathsep + os.environ["PATH"], LC_ALL="C.UTF-8",
                   HOME=scratch)
        # A session of its own, so that a block that runs too long goes with everything it
        # started, not only its bash.
        with subprocess.Popen(["bash", "-c", script], cwd=scratch, env=env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, errors="replace",
                              start_new_session=True) as block:
            try:
                stdout, stderr = block.communicate(timeout=60)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(block.pid, signal.SIGKILL)
                except ProcessLookupError:  # all of it ended in the meantime
                    pass
                block.wait()
                return [f"{where}: the block ran longer than 60 seconds"]
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    outputs = re.split("\n" + MARK + r" (\d+)\n", stdout)
    problems = []
    for (command, expected), (printed, status) in zip(steps, zip(outputs[::2], outputs[1::2])):
        if status != "0":
            problems.append(f"{where}: `{command}` exited {status}:\n{printed}")
        elif not matches(expected, printed.splitlines()):
            problems.append(f"{where}: `{command}` printed:\n{printed}\nbut the guide shows:\n"
                            + "\n".join(expected))
    if len(outputs) // 2 < len(steps):
        problems.append(f"{where}: the block stopped after {len(outputs) // 2} of {len(steps)} "
                        f"commands: {stderr}")
    return problems


guides = [os.path.join(source, "README.md")] + sorted(glob.glob(os.path.join(source, "docs", "*.md")))
problems, ran = [], 0
for guide in guides:
    for start, lines in blocks(guide):
        where = f"{os.path.relpath(guide, source)}:{start}"
        steps = commands(lines)
        if not steps:
            problems.append(f"{where}: a ```sh block must start with a `$ ` command")
            continue
        problems += run(steps, where)
        ran += len(steps)
for problem in problems:
    print(problem, end="\n\n")
print(f"{ran} commands of the guides run, {len(problems)} failed")
sys.exit(1 if problems or ran == 0 else 0)
