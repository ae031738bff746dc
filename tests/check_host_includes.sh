#!/bin/sh
# Fails unless every program around the library keeps to the library's declared host headers.
# A file under host/ may include in quotes only include/deckhand/ ("deckhand/...") and host/'s
# own headers ("host/..."); of these, only host/common/ and its own program's folder, for one
# program never builds on another's insides (what two programs share goes to host/common/). No
# include of any kind may reach a header of src/, whose insides change without notice.
set -eu
root="$1"
cd "$root"
files=$(find host -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' \
  -o -name '*.cpp' \) | sort)
[ -n "$files" ] || { echo "no sources under $root/host"; exit 1; }
# shellcheck disable=SC2086  # the paths hold no spaces: they are ours
awk '
  function fail(why) {
    printf "%s:%d: %s\n", FILENAME, FNR, why
    failures++
  }
  function exists(path) {
    return system("test -f \"" path "\"") == 0
  }
  /^[ \t]*#[ \t]*include[ \t]*[<"]/ {
    line = $0
    sub(/^[ \t]*#[ \t]*include[ \t]*/, "", line)
    quoted = substr(line, 1, 1) == "\""
    header = substr(line, 2)
    sub(/[">].*$/, "", header)
    split(FILENAME, place, "/")
    program = place[2]
    if (header ~ /(^|\/)\.\.(\/|$)/) {
      fail("includes " header ", which climbs out of its folder")
    } else if (!quoted) {
      if (exists("src/" header)) fail("includes <" header ">, a header of src/")
    } else if (header ~ /^deckhand\//) {
      if (!exists("include/" header)) fail("includes " header ", which include/deckhand/ lacks")
    } else if (header ~ /^host\//) {
      split(header, target, "/")
      if (target[2] != "common" && program == "common") {
        fail("includes " header ": host/common/ serves every program and includes none")
      } else if (target[2] != "common" && target[2] != program) {
        fail("includes " header ": host/" program "/ may include host/common/ and its own " \
             "headers only")
      }
    } else {
      fail("includes \"" header "\": a host includes deckhand/ (include/deckhand/) and host/ " \
           "headers only")
    }
  }
  END {
    if (failures) {
      printf "%d include(s) past the declared host headers\n", failures
      exit 1
    }
    print "hosts include only include/deckhand/, host/common/ and their own headers"
  }
' $files
