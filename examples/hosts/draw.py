#!/usr/bin/env python3
"""A minimal host in Python: loads the deckhand library with ctypes and asks it to draw cards.

    python3 draw.py /usr/local/lib/libdeckhand.so.1 '#table' draw,1-3

The data files (modes.ini, the deck files, decksave.ini) are those of the current directory.
The library speaks Shift_JIS (code page 932): texts go in and come out as such bytes.
"""
import ctypes
import sys

REPLY_SIZE = 4096  # the size every command expects of its reply buffer


def call(library, command, target, text, modes="modes.ini", user="host"):
    """Calls one export; returns its reply line as text, or None when it has nothing to say."""
    line = " ".join([user, target, modes, text]).encode("cp932")
    # The library only reads the line, but its parameter is char*, not const char*: it gets a
    # buffer of its own rather than the memory of a bytes object, which must never change.
    line_buffer = ctypes.create_string_buffer(line)
    reply = ctypes.create_string_buffer(REPLY_SIZE)  # zero-filled: empty unless it replies
    getattr(library, command)(line_buffer, reply)
    return reply.value.decode("cp932", errors="backslashreplace") or None


def main():
    if len(sys.argv) != 4:
        sys.exit(f"usage: {sys.argv[0]} LIBRARY TARGET draw,N")
    library = ctypes.CDLL(sys.argv[1])
    for name in ("Deck", "Draw", "Count", "Check", "Shuffle"):
        getattr(library, name).argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        getattr(library, name).restype = None
    reply = call(library, "Draw", sys.argv[2], sys.argv[3])
    if reply is None:
        sys.exit("no reply")
    print(reply)  # "NOTICE #table <cards>": send it to the chat


if __name__ == "__main__":
    main()
